#pragma once
// Files a run writes outside the edit session: each is written under a temporary name beside
// its place and renamed into place only when the whole run has succeeded, so a failed or killed
// run leaves every file as it was.

#include <string>
#include <utility>
#include <vector>

namespace ondu {

class PendingFiles {
public:
    PendingFiles() = default;
    /// Removes every temporary file not committed.
    ~PendingFiles();
    PendingFiles(const PendingFiles&) = delete;
    PendingFiles& operator=(const PendingFiles&) = delete;

    /// The temporary path to write in place of `finalPath`: in the same folder (so that the
    /// rename cannot cross file systems), hidden, unique to this process.
    std::string add(const std::string& finalPath);
    /// Renames every temporary file onto its place, in the order added. Throws HostError naming
    /// the file when a rename fails.
    void commit();

private:
    std::vector<std::pair<std::string, std::string>> files_;  ///< temporary, final
};

/// Whether two paths name one existing file ("./v.xml" and "v.xml", a symbolic or hard link).
bool sameFile(const std::string& a, const std::string& b);

/// Throws RunRefused, naming both, when `output` is the same file as `input`: a tool never
/// writes over what it reads.
void refuseOutputOverInput(const std::string& input, const std::string& output);

}  // namespace ondu
