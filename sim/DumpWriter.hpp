#pragma once

#include "ServerDb.hpp"

#include <atomic>
#include <cstdio>
#include <string>

namespace sim {

// Writes the server database as `brctl dump -v` prints it: a preamble, the "server items"
// section with a header per container and one line per item (names masked, sizes in the exact
// or the rounded form, colour sequences, unrelated lines, alias lines), then the "client
// items" section.
class DumpWriter {
public:
    struct Knobs {
        int slowMs = 0;         // pause this long after every 200 lines
        int failStatus = 0;     // stop halfway with this exit status
        bool noClient = false;  // leave out the client section
        bool neverEnds = false; // after the server section, wait until stopped
    };

    DumpWriter(const ServerDb& db, const Knobs& knobs, const std::atomic<bool>& stop)
        : m_db(db), m_knobs(knobs), m_stop(stop) {}

    // Returns the exit status for the tool: 0, the failing status, or 143 when stopped.
    int write(std::FILE* out);

    // How the database prints a container identifier: each dot-separated part masked alone.
    [[nodiscard]] static std::string maskedIdentifier(const std::string& identifier);
    // The line of one item, without the line feed.
    [[nodiscard]] static std::string itemLine(const ServerItem& it, std::size_t n);

private:
    bool line(std::FILE* out, const std::string& text);

    const ServerDb& m_db;
    Knobs m_knobs;
    const std::atomic<bool>& m_stop;
    std::size_t m_lines = 0;
};

} // namespace sim
