#include "line/line_spool.h"

#include <stdexcept>

#include "line/line_error.h"

namespace comflash::line {
namespace {

namespace fs = std::filesystem;

std::vector<SpoolEntry> ParseEntries(const std::string& text) {
    std::vector<SpoolEntry> entries;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break;  // a last line without its line break never finished
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0)
            continue;  // the rest of a cut line, after the break written behind it
        entries.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return entries;
}

std::string EntryLine(const SpoolEntry& entry) {
    return entry.key + '\t' + entry.body + '\n';
}

}  // namespace

LineSpool::LineSpool(fs::path folder) : folder_(std::move(folder)), file_(folder_ / "line-spool") {}

void LineSpool::Append(const SpoolEntry& entry) {
    const std::string failed =
        "a record for the line database cannot be kept in " + file_.string() + " (";
    try {
        std::error_code error;
        fs::create_directories(folder_, error);
        FileLock lock(folder_ / "line-spool.lock", true);
        if (!lock.Held())
            throw std::runtime_error("cannot lock " + (folder_ / "line-spool.lock").string());
        AppendSynced(file_, EntryLine(entry));
    } catch (const std::runtime_error& e) {
        throw LineError(failed + e.what() + "): free disk space or fix the folder's permissions");
    }
}

std::vector<SpoolEntry> LineSpool::Entries() const {
    std::error_code error;
    if (!fs::exists(file_, error))
        return {};
    FileLock lock(folder_ / "line-spool.lock", true);
    return ParseEntries(ReadIfPresent(file_));
}

void LineSpool::Remove(const std::set<std::string>& keys) {
    if (keys.empty())
        return;
    FileLock lock(folder_ / "line-spool.lock", true);
    if (!lock.Held())
        throw LineError("cannot lock " + (folder_ / "line-spool.lock").string());
    std::string kept;
    for (const SpoolEntry& entry : ParseEntries(ReadIfPresent(file_))) {
        if (keys.count(entry.key) == 0)
            kept += EntryLine(entry);
    }
    try {
        ReplaceSynced(file_, kept);
    } catch (const std::runtime_error& e) {
        throw LineError(std::string("the line database's spool cannot be updated (") + e.what() +
                        ")");
    }
}

void LineSpool::SetAside(const SpoolEntry& entry, const std::string& reason) {
    try {
        AppendSynced(folder_ / "line-spool.rejected", "# " + reason + '\n' + EntryLine(entry));
    } catch (const std::runtime_error& e) {
        throw LineError(std::string("a refused record cannot be set aside (") + e.what() + ")");
    }
    Remove({entry.key});
}

std::optional<FileLock> LineSpool::TrySendTurn() const {
    std::error_code error;
    fs::create_directories(folder_, error);
    std::optional<FileLock> turn;
    turn.emplace(folder_ / "line-spool.send", false);
    if (!turn->Held())
        turn.reset();
    return turn;
}

}  // namespace comflash::line
