#pragma once
// What a run tells: one line per changed file and a total line on standard
// output, or one JSON document with --json; failures and warnings on standard
// error, worded as the program's error box words them. A file name that needs
// it is quoted as a shell takes it back (QuotedName), and no byte that does not
// print reaches standard error raw.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct FileOutcome;
struct ListEntry;

struct RunTotals {
    std::size_t files = 0;
    std::size_t changed = 0;
    std::size_t failed = 0;
    std::size_t pre = 0;
    std::uint64_t before = 0;
    std::uint64_t after = 0;
    std::uint64_t gzipBefore = 0; // with compressed sizes
    std::uint64_t gzipAfter = 0;
    std::int64_t Saved() const {
        return static_cast<std::int64_t>(before) - static_cast<std::int64_t>(after);
    }
};

// An error message as the error box shows it: "." appended when its last
// character sorts after ".".
std::string ErrorBoxText(const std::string& message);

// The text of a string as a JSON string literal (bytes that are not UTF-8 become
// U+FFFD; a file's "path" and "backup" are then followed by "pathBytes" and
// "backupBytes", their bytes in base64).
std::string JsonString(const std::string& bytes);

class Reporter {
public:
    Reporter(bool json, bool optimize, bool dryRun, std::FILE* out, std::FILE* err);
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    // --check: a "would change: PATH" line per file that would change, and no
    // total line. --diff: each such file's unified diff instead (it wins over
    // --check). Compressed sizes: each line and the totals also give the gzip
    // sizes.
    void SetCheck(bool check) { check_ = check; }
    void SetDiff(bool diff) { diff_ = diff; }
    void SetCompressedSizes(bool on) { compressed_ = on; }

    // Called once per file, in list order, after its write was put in place.
    void File(const ListEntry& entry, const FileOutcome& outcome);
    // A problem that concerns no one file (told on standard error as it comes).
    void Warning(const std::string& text);
    // The total line, or the JSON document.
    void Finish(int exitStatus);

    const RunTotals& Totals() const { return totals_; }
    // True when standard output could not take the report (a closed pipe, a full
    // disk): told once on standard error; the answer of --check or --diff is not
    // whole then (exit status 3), a run's report is lost (1).
    bool OutputFailed() const { return outputFailed_; }

private:
    void Error(const std::string& text);
    // Looks whether the last write to standard output failed.
    void CheckOutput();

    bool json_;
    bool optimize_;
    bool dryRun_;
    bool check_ = false;
    bool diff_ = false;
    bool compressed_ = false;
    std::FILE* out_;
    std::FILE* err_;
    RunTotals totals_;
    std::string filesJson_;
    std::vector<std::string> warnings_;
    bool outputFailed_ = false;
};
