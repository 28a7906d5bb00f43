#include "commands/FileCommands.h"

#include "commands/StyleSheets.h"
#include "platform/SafeWrite.h"
#include "text/TextDocument.h"

void LoadFileInto(TextDocument& doc, const std::string& path) {
    doc.SetCharLimit(TextDocument::FileCharLimit);
    doc.SetPlainText(true);
    doc.ReadFromFile(path);
}

OptimizeFileOutcome OptimizeFile(TextDocument& doc, const OptimizeOptions& options,
                                 LineBreakStyle breaks, const std::string& page) {
    OptimizeFileOutcome out;
    out.empty = doc.JoinedLength() == 0;
    if (out.empty)
        return out;
    // A file the user chose: the sheets it links are read wherever they lie.
    StyleSheetCache sheets;
    PageStyleSheets linked(sheets, page);
    OptimizeOptions withSheets = options;
    if (options.keepPre && options.styleSheets == nullptr && !page.empty())
        withSheets.styleSheets = &linked;
    out.run = OptimizeStep(doc, withSheets, breaks);
    return out;
}

void SaveFileTo(TextDocument& doc, const std::string& path, LineBreakStyle breaks) {
    doc.SetPlainText(true);
    if (ResolvedBreaks(breaks, doc.OwnBreaks()) == LineBreakStyle::CrLf)
        doc.WriteToFile(path);
    else
        WriteWholeFile(path, doc.BytesIn(breaks));
}
