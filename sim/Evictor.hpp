#pragma once
// What the simulated service does when asked to free a downloaded document on this computer
// (`brctl evict PATH`) or to fetch it back (`brctl download PATH`), as the real service does:
// freeing keeps the document on the server and leaves a placeholder (the same name and size, no
// blocks, the placeholder mark); a document whose bytes differ from the server's copy is refused,
// so local changes the server does not have are never lost.

#include <string>

namespace sim {

struct ServerDb;

struct Evictor {
    Evictor() = delete;

    struct Outcome {
        // The exit status of the command: 0 done, 1 refused or failed.
        int status = 0;
        // What the command prints on standard error; empty when done.
        std::string message;
    };

    static Outcome evict(const ServerDb& db, const std::string& home, const std::string& path);
    static Outcome download(const ServerDb& db, const std::string& home, const std::string& path);
};

} // namespace sim
