#include "commands/FileCommands.h"

#include "text/TextDocument.h"

void LoadFileInto(TextDocument& doc, const std::string& path) {
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.SetPlainText(true);
    doc.ReadFromFile(path);
}

OptimizeFileOutcome OptimizeFile(TextDocument& doc) {
    OptimizeFileOutcome out;
    out.empty = doc.JoinedLength() == 0;
    if (!out.empty)
        out.run = OptimizeStep(doc);
    return out;
}

void SaveFileTo(TextDocument& doc, const std::string& path) {
    doc.SetPlainText(true);
    doc.WriteToFile(path);
}
