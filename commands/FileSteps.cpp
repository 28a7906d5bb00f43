#include "commands/FileSteps.h"

#include "text/ReplaceText.h"
#include "text/TextDocument.h"

OptimizeRun OptimizeStep(TextDocument& doc, const OptimizeOptions& options, LineBreakStyle breaks) {
    if (ResolvedBreaks(breaks, doc.OwnBreaks()) == LineBreakStyle::CrLf)
        return OptimizeDocument(doc, options);
    // Every line of the joined text ends in CR LF: one byte less per line.
    const std::size_t linesBefore = doc.LineCount();
    OptimizeRun run = OptimizeDocument(doc, options);
    run.lengthBefore -= linesBefore;
    run.lengthAfter -= doc.LineCount();
    return run;
}

void ChangeStep(TextDocument& doc, const ChangeRequest& change) {
    if (change.pattern.empty()) // an empty pattern matches nowhere
        return;
    doc.SetWholeText(
        ReplaceText(doc.WholeText(), change.pattern, change.replacement, change.caseSensitive));
}

std::string_view SaveBytes(TextDocument& doc, std::string_view keptText, LineBreakStyle breaks) {
    doc.SetPlainText(true);
    doc.AssignLines(keptText);
    return doc.BytesIn(breaks);
}
