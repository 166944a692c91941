#include "TessaryCore/DumpParser.hpp"

#include "TessaryCore/Bytes.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/UniqueFd.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace tessary {

namespace {

constexpr std::size_t blockSize = 8u << 20;
constexpr std::int64_t reportEveryLines = 20000;
constexpr double reportEverySeconds = 0.2;
// Children reserved for a folder at most, whatever child count the dump gives it.
constexpr std::int64_t maxReserve = 4096;

double now() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

// Size of the file at `path` without following a final symbolic link, or nothing.
std::optional<std::int64_t> linkSize(const std::string& path) {
    const auto info = FS::lstat(path);
    if (!info)
        return std::nullopt;
    return info->size;
}

// `bytes` as UTF-8 text without copying when it is already valid; otherwise decoded into
// `scratch` with U+FFFD for invalid sequences.
std::string_view text(std::string_view bytes, std::string& scratch) {
    if (Bytes::isValidUTF8(bytes))
        return bytes;
    scratch = Bytes::decodeUTF8(bytes);
    return scratch;
}

// Fills `buf` from `fd` until it is full or the file ends. Returns the number of bytes read,
// or -1 on a read error.
std::ptrdiff_t readBlock(int fd, char* buf, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buf + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<std::ptrdiff_t>(got);
}

// Why a file could not be opened, in the user's words for the usual cases.
std::string reasonText(int err) {
    switch (err) {
    case ENOENT:
        return "soubor neexistuje";
    case EACCES:
    case EPERM:
        return "chybí oprávnění ke čtení";
    case EISDIR:
        return "je to složka";
    default:
        return std::strerror(err);
    }
}

ScanError openError(const std::string& path, std::string_view reason) {
    return ScanError::message("Výpis databáze nelze otevřít: " + path + " (" + std::string(reason) +
                              ")");
}

std::string containerId(const char* prefix, std::int64_t index) {
    std::string id = prefix;
    id += std::to_string(index);
    id += ']';
    return id;
}

} // namespace

bool DumpParser::ParseState::line(std::string_view bytes, std::int64_t rawLength) {
    read += rawLength;
    nLines += 1;
    if (nLines % reportEveryLines == 0) {
        const double t = now();
        if (t - lastReport > reportEverySeconds) {
            lastReport = t;
            progress("parse", read, total, "Čtu databázi… " + std::to_string(nItems) + " položek");
        }
    }
    if (!inServer) {
        if (Bytes::sectionHeader(bytes, "server items"))
            inServer = true;
        return false;
    }
    if (Bytes::sectionHeader(bytes, "client items"))
        return true;
    // Most lines carry no colour sequence; those are cleaned without a copy.
    std::string_view clean = bytes;
    if (std::memchr(bytes.data(), 27, bytes.size()) != nullptr) {
        stripped.clear();
        Bytes::stripANSI(bytes, stripped);
        clean = stripped;
    }
    while (!clean.empty() && (clean.back() == '\r' || clean.back() == '\n'))
        clean.remove_suffix(1);
    handle(clean);
    return false;
}

void DumpParser::ParseState::handle(std::string_view line) {
    // Container headers start with four spaces and a dash; item lines never do.
    if (line.size() > 4 && line[4] == '-') {
        if (auto header = Bytes::containerHeader(line)) {
            auto it = res.containers.find(header->index);
            if (it == res.containers.end()) {
                const auto order = static_cast<std::int64_t>(res.containers.size());
                it = res.containers
                         .try_emplace(header->index, header->index, std::move(header->identifier))
                         .first;
                it->second.order = order;
            }
            curContainer = &it->second;
            return;
        }
    }
    const auto il = Bytes::itemLine(line);
    if (!il || curContainer == nullptr)
        return;
    const std::string_view rest = line.substr(il->rest);
    const auto block = Bytes::stateBlock(rest);
    if (!block) {
        if (Bytes::hasToken(rest, "alias", true))
            nAlias += 1;
        else
            nBad += 1;
        return;
    }
    std::string idScratch, parentScratch, nameScratch;
    const auto kind = itemKindFromText(block->kind.of(rest));
    Item* item = res.addNew(
        text(il->id.of(line), idScratch), text(block->parent.of(rest), parentScratch),
        text(block->name.of(rest), nameScratch), kind.value_or(ItemKind::doc), curContainer->index);
    if (item == nullptr) {
        // The first line with an id wins.
        nDup += 1;
        return;
    }
    nItems += 1;
    if (Bytes::hasToken(block->flags.of(rest), "dead", false)) {
        item->dead = true;
        if (block->secondName && !block->secondName->empty()) {
            std::string scratch;
            item->setName(text(block->secondName->of(rest), scratch));
        }
    }
    if (auto sz = Bytes::size(rest))
        item->sz = *sz;
    if (auto meta = Bytes::serverMeta(rest)) {
        item->qta = meta->qta;
        item->rcc = meta->rcc;
        item->cc = meta->cc;
    }
    if (auto mt = Bytes::mtime(rest))
        item->mt = *mt;
}

ScanResult DumpParser::parse(const std::string& path, const ProgressCallback& progress) {
    ParseState st;
    st.res.mode = ScanMode::dump;
    st.progress = progress ? progress : ProgressCallback(noopProgress);

    // Only a regular file is opened: a FIFO without a writer would block the open (and every
    // signal with it), a device would be read without end.
    struct stat fst {};
    if (::stat(path.c_str(), &fst) != 0)
        throw openError(path, reasonText(errno));
    if (S_ISDIR(fst.st_mode))
        throw openError(path, reasonText(EISDIR));
    if (!S_ISREG(fst.st_mode))
        throw openError(path, "není to obyčejný soubor");
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid() || ::fstat(file.get(), &fst) != 0)
        throw openError(path, reasonText(errno));
    if (!S_ISREG(fst.st_mode)) // replaced between the two looks
        throw openError(path, "není to obyčejný soubor");
    if (auto size = linkSize(path)) {
        st.total = *size;
        st.res.dumpTime = fileModificationTime(path);
    }

    auto buffer = std::make_unique_for_overwrite<char[]>(blockSize);
    std::string carry;
    bool stop = false;
    while (!stop) {
        const std::ptrdiff_t got = readBlock(file.get(), buffer.get(), blockSize);
        if (got < 0)
            throw ScanError::message("Výpis databáze nelze přečíst: " + path + " (" +
                                     std::strerror(errno) + ")");
        if (got == 0)
            break;
        const char* p = buffer.get();
        const char* const end = p + got;
        while (p < end) {
            const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
            if (lf == nullptr) {
                carry.append(p, end);
                break;
            }
            const auto len = static_cast<std::size_t>(lf - p);
            if (carry.empty()) {
                stop = st.line({p, len}, static_cast<std::int64_t>(len) + 1);
            } else {
                carry.append(p, len);
                stop = st.line(carry, static_cast<std::int64_t>(carry.size()) + 1);
                carry.clear();
            }
            if (stop)
                break;
            p = lf + 1;
        }
    }
    if (!stop && !carry.empty())
        st.line(carry, static_cast<std::int64_t>(carry.size()));

    if (!st.inServer)
        throw ScanError::message(
            "Ve výpisu brctl dump chybí sekce 'server items' – formát se možná změnil.");
    st.progress("parse", st.total, st.total, "Načteno " + std::to_string(st.nItems) + " položek");
    ScanResult& res = st.res;
    res.stats["items_parsed"] = st.nItems;
    res.stats["lines"] = st.nLines;
    res.stats["bad_lines"] = st.nBad;
    res.stats["aliases"] = st.nAlias;
    res.stats["duplicate_ids"] = st.nDup;
    buildTree(res);
    res.stopGrowing();
    return std::move(st.res);
}

void DumpParser::buildTree(ScanResult& res) {
    // 1. Roots, before linking, so that a parent id "root[<index>]" finds its root.
    for (auto& [index, container] : res.containers) {
        Item& root =
            res.put(Item(containerId("root[", index), "", container.masked, ItemKind::dir, index));
        container.root = &root;
    }

    // 2. Linking in database order; unknown parents lead into the container's orphan bucket,
    // made where its first orphan stands among the root's children.
    std::unordered_map<std::int64_t, Item*> buckets;
    auto bucketOf = [&](std::int64_t index) -> Item& {
        auto [it, made] = buckets.try_emplace(index, nullptr);
        if (made) {
            const std::string rootId = containerId("root[", index);
            Item& bucket = res.put(Item(containerId("orphans[", index), rootId,
                                        "(položky bez známého rodiče)", ItemKind::dir, index));
            if (Item* root = res.get(rootId))
                root->children.push_back(&bucket);
            it->second = &bucket;
        }
        return *it->second;
    };
    std::int64_t orphans = 0;
    const std::vector<Item*>& order = res.itemOrder();
    // Siblings mostly follow each other: remember the last parent looked up.
    std::string_view lastId;
    Item* lastParent = nullptr;
    for (Item* it : order) {
        it->m_mark = 0;
        if (it->parent().empty())
            continue;
        if (lastParent == nullptr || it->parent() != lastId) {
            lastId = it->parent();
            lastParent = res.get(lastId);
            if (lastParent == nullptr)
                lastId = {};
        }
        if (Item* parent = lastParent) {
            // The database's own child count sizes the list at once (bounded, as the count is
            // only what the dump claims).
            if (parent->children.empty() && parent->cc > 1)
                parent->children.reserve(
                    static_cast<std::size_t>(std::min<std::int64_t>(parent->cc, maxReserve)));
            parent->children.push_back(it);
        } else {
            Item& bucket = bucketOf(it->container());
            it->setParent(bucket.id());
            bucket.children.push_back(it);
            ++orphans;
        }
    }
    res.stats["orphans"] = orphans;

    // 2b. Parent cycles. Items whose chain of parents loops (an item that is its own parent,
    // A under B under A) hang under no root and would vanish without a trace. Mark what the
    // roots reach, then walk up from every item not reached: a walk that meets itself has found
    // a cycle, which is cut at the item that closes it; that item goes into the orphan bucket
    // together with everything below it.
    enum : std::uint8_t { unseen = 0, onPath = 1, settled = 2 };
    {
        std::vector<Item*> stack;
        for (auto& [index, container] : res.containers)
            if (container.root != nullptr)
                stack.push_back(container.root);
        while (!stack.empty()) {
            Item* cur = stack.back();
            stack.pop_back();
            for (Item* c : cur->children) {
                if (c->m_mark == unseen) {
                    c->m_mark = settled;
                    stack.push_back(c);
                }
            }
        }
    }
    std::int64_t cycles = 0;
    // The children that cutting took from a folder still count as listed by the database.
    std::unordered_map<std::string_view, std::int64_t> cutPerParent;
    std::vector<Item*> path;
    for (Item* start : order) {
        if (start->m_mark != unseen)
            continue;
        path.clear();
        Item* cur = start;
        Item* parent = nullptr;
        while (true) {
            cur->m_mark = onPath;
            path.push_back(cur);
            parent = cur->parent().empty() ? nullptr : res.get(cur->parent());
            if (parent == nullptr || parent->m_mark != unseen)
                break;
            cur = parent;
        }
        if (parent != nullptr && parent->m_mark == onPath) {
            Item* cut = path.back();
            auto& siblings = parent->children;
            std::erase(siblings, cut);
            cutPerParent[parent->id()] += 1;
            Item& bucket = bucketOf(cut->container());
            cut->setParent(bucket.id());
            bucket.children.push_back(cut);
            ++cycles;
        }
        for (Item* p : path)
            p->m_mark = settled;
    }
    if (cycles > 0)
        res.stats["parent_cycles"] = cycles;

    // 3-4. Dead items leave the tree with their subtrees.
    std::vector<Item*> dead;
    std::vector<Item*> stack;
    std::vector<Item*> live;
    for (auto& [index, container] : res.containers) {
        if (container.root == nullptr)
            continue;
        stack.assign(1, container.root);
        while (!stack.empty()) {
            Item* folder = stack.back();
            stack.pop_back();
            bool anyDead = false;
            for (Item* c : folder->children)
                anyDead = anyDead || c->dead;
            if (anyDead) {
                live.clear();
                for (Item* c : folder->children)
                    (c->dead ? dead : live).push_back(c);
                folder->children.assign(live.begin(), live.end());
            }
            for (Item* c : folder->children)
                if (!c->children.empty())
                    stack.push_back(c);
        }
    }
    res.dead = std::move(dead);

    // 5. Roots in ascending order of index.
    res.roots.clear();
    for (auto& [index, container] : res.containers)
        if (container.root != nullptr)
            res.roots.push_back(container.root);

    // 6-8. Child counts against the database.
    std::unordered_map<std::string_view, std::int64_t> deadPerParent;
    for (const Item* d : res.dead)
        deadPerParent[d->parent()] += 1;
    std::int64_t checked = 0;
    std::int64_t mismatches = 0;
    res.forEachItem([&](Item& it) {
        if (it.dead || !it.isDir() || it.cc == 0 || it.isVirtual())
            return;
        ++checked;
        std::int64_t n = static_cast<std::int64_t>(it.children.size());
        for (const auto* moved : {&deadPerParent, &cutPerParent}) {
            if (moved->empty())
                continue;
            const auto d = moved->find(it.id());
            if (d != moved->end())
                n += d->second;
        }
        if (n != it.cc)
            ++mismatches;
    });
    res.stats["dirs_checked"] = checked;
    res.stats["dirs_child_mismatch"] = mismatches;
    if (checked > 0 && static_cast<double>(checked) * 0.02 < static_cast<double>(mismatches))
        res.warnings.push_back("U " + std::to_string(mismatches) + " z " + std::to_string(checked) +
                               " složek nesouhlasí počet potomků s databází – výpis mohl být "
                               "neúplný.");
}

std::optional<double> DumpParser::fileModificationTime(const std::string& path) {
    // A plain stat rather than FS::lstat: the dump time keeps its fractions of a second.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<double>(st.st_mtim.tv_sec) + static_cast<double>(st.st_mtim.tv_nsec) / 1e9;
}

} // namespace tessary
