#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tessary {

// The file-type categories of documents, chosen by the name's extension. Stored by its text
// value. The colours of the categories belong to the application.
enum class FileCategory : unsigned char { video, photo, design, audio, document, archive, other };

inline constexpr std::array<FileCategory, 7> allFileCategories{
    FileCategory::video,    FileCategory::photo,   FileCategory::design, FileCategory::audio,
    FileCategory::document, FileCategory::archive, FileCategory::other};

[[nodiscard]] std::string_view toText(FileCategory category);
// The category named by `text`; no value for any other text.
[[nodiscard]] std::optional<FileCategory> fileCategoryFromText(std::string_view text);
// The Czech title shown to the user ("Videa", ...).
[[nodiscard]] std::string_view title(FileCategory category);

// The extension table: lower-case extension without the dot to category (125 entries, no entry
// for `other`). Built once on first use, thread-safe, immutable afterwards.
[[nodiscard]] const std::unordered_map<std::string, FileCategory>& fileCategoryMap();
// The category of a file name: the last path component's text after its last ".", lower-cased
// and looked up in the table; `other` when absent or when there is no extension.
[[nodiscard]] FileCategory fileCategoryOf(std::string_view name);
// The extension that `fileCategoryOf` looks up, before lower-casing; empty when there is none.
[[nodiscard]] std::string_view pathExtension(std::string_view name);

} // namespace tessary
