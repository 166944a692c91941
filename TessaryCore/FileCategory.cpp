#include "TessaryCore/FileCategory.hpp"

#include "TessaryCore/TextCase.hpp"

#include <utility>

namespace tessary {

std::string_view toText(FileCategory category) {
    switch (category) {
    case FileCategory::video:
        return "video";
    case FileCategory::photo:
        return "photo";
    case FileCategory::design:
        return "design";
    case FileCategory::audio:
        return "audio";
    case FileCategory::document:
        return "document";
    case FileCategory::archive:
        return "archive";
    case FileCategory::other:
        return "other";
    }
    return "other";
}

std::optional<FileCategory> fileCategoryFromText(std::string_view text) {
    for (FileCategory c : allFileCategories)
        if (toText(c) == text)
            return c;
    return std::nullopt;
}

std::string_view title(FileCategory category) {
    switch (category) {
    case FileCategory::video:
        return "Videa";
    case FileCategory::photo:
        return "Fotky";
    case FileCategory::design:
        return "Grafika a návrhy";
    case FileCategory::audio:
        return "Hudba a zvuk";
    case FileCategory::document:
        return "Dokumenty";
    case FileCategory::archive:
        return "Archivy a instalačky";
    case FileCategory::other:
        return "Ostatní";
    }
    return "Ostatní";
}

const std::unordered_map<std::string, FileCategory>& fileCategoryMap() {
    static const std::unordered_map<std::string, FileCategory> map = [] {
        const std::pair<FileCategory, std::string_view> lists[] = {
            {FileCategory::video, "mov mp4 m4v avi mkv mts m2ts wmv flv webm 3gp mxf braw r3d mpg "
                                  "mpeg vob fcpbundle imovielibrary tvlibrary prproj"},
            {FileCategory::photo,
             "jpg jpeg png heic heif gif tif tiff bmp webp raw cr2 cr3 nef arw "
             "orf rw2 dng raf srw pef photoslibrary lrcat lrcat-data lrdata "
             "aae"},
            {FileCategory::design, "psd psb ai eps svg indd idml sketch fig xd afphoto afdesign "
                                   "afpub pdn xcf cdr blend c4d obj fbx"},
            {FileCategory::audio, "mp3 m4a wav aif aiff flac aac ogg caf alac wma band logicx mid "
                                  "midi m4r"},
            {FileCategory::document,
             "pdf doc docx pages key numbers xls xlsx ppt pptx txt rtf rtfd "
             "md csv odt ods odp epub html htm json xml"},
            {FileCategory::archive, "zip rar 7z gz tgz bz2 xz tar dmg pkg iso app xip ipa apk exe "
                                    "msi sparsebundle sparseimage"},
        };
        std::unordered_map<std::string, FileCategory> m;
        for (const auto& [category, list] : lists) {
            std::size_t at = 0;
            while (at <= list.size()) {
                std::size_t space = list.find(' ', at);
                if (space == std::string_view::npos)
                    space = list.size();
                if (space > at)
                    m.insert_or_assign(std::string(list.substr(at, space - at)), category);
                at = space + 1;
            }
        }
        return m;
    }();
    return map;
}

std::string_view pathExtension(std::string_view name) {
    // The last path component: trailing slashes do not start an empty one.
    while (name.size() > 1 && name.back() == '/')
        name.remove_suffix(1);
    if (const std::size_t slash = name.rfind('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

FileCategory fileCategoryOf(std::string_view name) {
    const std::string_view ext = pathExtension(name);
    if (ext.empty())
        return FileCategory::other;
    const auto& map = fileCategoryMap();
    const auto it = map.find(TextCase::lower(ext));
    return it == map.end() ? FileCategory::other : it->second;
}

} // namespace tessary
