#pragma once
// Small answers about the clock and the writer of the system's own text files, which are 8-bit
// with CR LF line ends wherever the system runs, because the programs that read them expect that.

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace ondu {

/// The current local date and time as the system writes it into files: the date "mmm/d/yyyy"
/// with an English month abbreviation, one blank, and the time "h:mm:ss AM" or "h:mm:ss PM", for
/// example "Dec/7/2024 2:59:03 PM". Always English, so written files do not depend on the
/// machine's settings.
std::string GetDateTime();

/// The text of `GetDateTime` for the local time `localTime` (its year, month, day, hour, minute
/// and second are used).
std::string GetDateTime(const std::tm& localTime);

/// The folder for the system's scratch files, intermediate rasters and parameter tables:
/// `$ONDU_WORK_DIR` when set (and not empty), else the system's temporary folder. Created when
/// missing; throws std::filesystem::filesystem_error when it cannot be.
std::string workFolder();

/// The folder that holds the dataset a path names. A path inside a file dataset (a personal or
/// file geodatabase, a GeoPackage, a FlatGeobuf, ...: "C:\data\geo.mdb\CrossSections",
/// "river.gpkg/CrossSections", "data.fgb") gives the folder holding the dataset file, as does a
/// shapefile path ("C:\data\cs.shp" gives "C:\data"). Separators are "\" or else "/". A dataset
/// file named without any folder shows "Please check your path" and gives an empty text, except
/// a bare shapefile name, which throws HostError (5), as does a path naming no dataset file.
std::string GetFolderFromPath(const std::string& path);

/// Whether `path` names an existing file (not a folder). Failures (a folder that may not be
/// searched) pass on as std::filesystem::filesystem_error.
bool FileExists(const std::string& path);

/// As FileExists, but a failure shows "The following error occurred: <description>." titled
/// "HabTableExists: <number>" and answers false.
bool HabTableExists(const std::string& path);

/// Whether `path` names an existing folder. A failure (a folder that may not be searched) shows
/// "The following error occurred: <description>." titled "FolderExists: <number>" and answers
/// false.
bool FolderExists(const std::string& path);

/// `utf8` as one line of an 8-bit text file in Windows-1252, the character set of the files the
/// hydraulic model reads: one byte per character, so fields aligned by character stay aligned.
/// Nothing when `utf8` is not valid UTF-8, holds a character that set lacks, or holds a control
/// character (a line break inside a name would split the record it belongs to).
std::optional<std::string> toEightBitLine(std::string_view utf8);

/// A file's bytes in one block of memory, see `readWholeFile`.
struct FileBytes {
    char* data;
    std::size_t size;
};

/// Reads the file at `path` in one go into a block from `allocate`, for a parser that takes the
/// block over and frees it itself. Mapping fresh memory is most of the cost of reading a large
/// file: on POSIX systems a regular file is read by its size straight into one block, backed by
/// huge pages where the system offers them (a document of 100 MB otherwise costs some 25,000
/// page faults), and by two threads, a half each, when large. Elsewhere, and for files whose
/// size is unknown until read (pipes), stdio reads it into a block that grows as it fills. Nothing
/// when the file cannot be opened or read (every block taken is then returned to `deallocate`).
std::optional<FileBytes> readWholeFile(const std::string& path, void* (*allocate)(std::size_t),
                                       void (*deallocate)(void*));

/// Lines gathered in memory, each ended by CR LF as `CrLfTextFile` writes them: records made
/// apart from their file, on another thread say, and written to it later in one piece.
class CrLfLines {
public:
    /// Appends `line`, byte for byte, and CR LF.
    void writeLine(std::string_view line) {
        text_ += line;
        text_ += "\r\n";
    }
    const std::string& text() const { return text_; }
    /// Drops every line, keeping the room they took.
    void clear() { text_.clear(); }

private:
    std::string text_;
};

/// An 8-bit text file written line by line, every line ended by CR LF. Lines are collected and
/// reach the disk in large blocks. Closing or destroying the writer puts every line written so
/// far into the file, so a run that stops part-way leaves its complete lines behind.
class CrLfTextFile {
public:
    /// Creates the file anew, replacing an existing one; see `isOpen`.
    explicit CrLfTextFile(const std::string& path);
    ~CrLfTextFile();
    CrLfTextFile(const CrLfTextFile&) = delete;
    CrLfTextFile& operator=(const CrLfTextFile&) = delete;

    /// False when the file could not be created; `failure` says why.
    bool isOpen() const { return file_ != nullptr; }
    /// Appends `line`, byte for byte, and CR LF. Does nothing on a file that is not open.
    void writeLine(std::string_view line);
    /// Appends the lines gathered in `lines`. Does nothing on a file that is not open.
    void writeLines(const CrLfLines& lines);
    /// Puts every line into the file and closes it. False when a line could not be written (or
    /// the file never opened); `failure` says why.
    bool close();
    /// "Cannot create file 'PATH': REASON" or "Cannot write file 'PATH': REASON"; empty while
    /// nothing failed.
    const std::string& failure() const { return failure_; }

private:
    void flushWhenFull();
    void flush();
    void fail(const char* what, int error);

    std::string path_;
    std::FILE* file_ = nullptr;
    std::string pending_;
    std::string failure_;
};

}  // namespace ondu
