#include "commands/FileCommands.h"

#include "platform/SafeWrite.h"
#include "text/TextDocument.h"

void LoadFileInto(TextDocument& doc, const std::string& path) {
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.SetPlainText(true);
    doc.ReadFromFile(path);
}

OptimizeFileOutcome OptimizeFile(TextDocument& doc, const OptimizeOptions& options,
                                 LineBreakStyle breaks) {
    OptimizeFileOutcome out;
    out.empty = doc.JoinedLength() == 0;
    if (!out.empty)
        out.run = OptimizeStep(doc, options, breaks);
    return out;
}

void SaveFileTo(TextDocument& doc, const std::string& path, LineBreakStyle breaks) {
    doc.SetPlainText(true);
    if (ResolvedBreaks(breaks, doc.OwnBreaks()) == LineBreakStyle::CrLf)
        doc.WriteToFile(path);
    else
        WriteWholeFile(path, doc.BytesIn(breaks));
}
