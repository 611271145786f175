// Everything a station owes the line database (device rows, the fates of
// serial numbers), kept in a file in the settings folder until the server has
// it: appended and on disk before the station goes on, sent in order, and
// removed only once the server has taken it. Every entry carries a key that
// makes sending it twice harmless. Several processes of one station share the
// file.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "line/spool_file.h"

namespace comflash::line {

struct SpoolEntry {
    std::string key;   // no tab, no line break
    std::string body;  // one line of text
};

class LineSpool {
public:
    // The files "line-spool", "line-spool.lock", "line-spool.send" and
    // "line-spool.rejected" in `folder` (created when missing).
    explicit LineSpool(std::filesystem::path folder);

    // Raises LineError when the entry cannot be kept on disk.
    void Append(const SpoolEntry& entry);

    // The complete entries, oldest first; a line cut short by a crash is
    // left out.
    std::vector<SpoolEntry> Entries() const;
    std::size_t Count() const { return Entries().size(); }

    // Drops the entries with these keys (the server has them).
    void Remove(const std::set<std::string>& keys);

    // Moves an entry the server refuses for good to the "rejected" file,
    // with the reason, so that it no longer holds up the entries behind it.
    void SetAside(const SpoolEntry& entry, const std::string& reason);

    // Only one process at a time sends the spool: the turn is held while the
    // returned lock lives; nothing when another process has it.
    std::optional<FileLock> TrySendTurn() const;

    const std::filesystem::path& File() const { return file_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path file_;
};

}  // namespace comflash::line
