#pragma once
// The directory commands' state and steps, apart from any window: one kept text
// per listed file (the kept texts), whether they are current, and each file as it
// was read; "Optimize Dir", "Change Dir" and "Save All" over the listed files in
// list order, each file passing through the view's document as the window shows it.
//
// A command that fails part-way (a file that cannot be read, a text over the
// character limit) throws; the texts of the files before the failing one are then
// the new ones and the rest keep theirs, and the kept texts are not current. A
// command asked to stop ends between two files and puts the kept texts back as
// they were before it, as if it had not run.

#include "commands/BatchControl.h"
#include "commands/FileSteps.h"
#include "platform/FileStamp.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class ListedFiles;
class TextDocument;

struct OptimizeDirOutcome {
    std::size_t lengthBefore = 0; // the sums over every file
    std::size_t lengthAfter = 0;
    std::string preList; // each file holding "<pre>", followed by ", "
    bool stopped = false;
    std::size_t Saved() const { return lengthBefore - lengthAfter; }
};

struct SaveAllOutcome {
    std::size_t written = 0;
    bool stopped = false;
};

class DirectoryBatch {
public:
    // The folder the files were listed from: the commands read, and Save All
    // writes, only inside it.
    void SetListedFolder(std::string folder) { listedFolder_ = std::move(folder); }
    const std::string& ListedFolder() const { return listedFolder_; }

    bool TextsReady() const { return textsReady_; }
    const std::vector<std::string>& Texts() const { return texts_; }
    // The kept texts are no longer current (a new list, or saved).
    void Forget() { textsReady_ = false; }

    // Fills doc for list entry i as the commands do: the kept text while the kept
    // texts are current, otherwise the file itself.
    void Fill(TextDocument& doc, const ListedFiles& files, std::size_t i);
    // What a click on entry i shows: the kept text, or the file as it is now.
    void Show(TextDocument& doc, const ListedFiles& files, std::size_t i) const;

    // "Optimize Dir" or "Change Dir", as the step says: the request velocitrix-cli
    // takes too. For a change the outcome holds no figures.
    OptimizeDirOutcome Apply(TextDocument& doc, const ListedFiles& files, const FileStep& step,
                             const BatchControl& control = {});
    // The sums count line breaks of the style the files will be written with.
    OptimizeDirOutcome OptimizeAll(TextDocument& doc, const ListedFiles& files,
                                   const BatchControl& control = {},
                                   const OptimizeOptions& options = {},
                                   LineBreakStyle breaks = LineBreakStyle::CrLf);
    // Returns false when asked to stop before the end.
    bool ChangeAll(TextDocument& doc, const ListedFiles& files, const ChangeRequest& change,
                   const BatchControl& control = {});
    // Writes every kept text over its file in list order, in chunks made durable
    // together; a file that fails throws its WriteError (the files before it
    // written, the rest untouched). A file another program changed since it was
    // read, or one that no longer lies inside the listed folder, fails. Each file
    // written takes its new stamp at once, so that after a stop or a failure the
    // files already written are this program's own and Save All can run again.
    // Line breaks are written in the given style (Keep: each file's own as read).
    SaveAllOutcome SaveAll(TextDocument& doc, const ListedFiles& files,
                           const BatchControl& control = {},
                           LineBreakStyle breaks = LineBreakStyle::CrLf);

private:
    // What a command overwrote of the kept texts, moved aside so a stop can put
    // it back without a copy.
    struct Undo {
        std::vector<std::string> texts; // the old text of each file overwritten
        std::vector<std::string> tail;  // the texts past the listed count
        std::vector<FileStamp> stamps;
        std::vector<LineBreakStyle> ownBreaks;
        std::size_t size = 0;
        std::size_t done = 0;
        bool ready = false;
    };

    Undo Prepare(std::size_t count);
    // Runs edit(i) on each file filled into doc and keeps the texts; false,
    // with the kept texts put back, when stopped.
    bool EditAll(TextDocument& doc, const ListedFiles& files, const BatchControl& control,
                 const std::function<void(std::size_t)>& edit);
    void Keep(Undo& undo, std::size_t i, const TextDocument& doc);
    void Restore(Undo& undo);

    std::vector<std::string> texts_;
    std::vector<FileStamp> stamps_;
    // Each file's own line break style as it was read (LineBreakStyle::Keep).
    std::vector<LineBreakStyle> ownBreaks_;
    bool textsReady_ = false;
    std::string listedFolder_;
};
