#include "commands/FileSteps.h"

#include "text/ReplaceText.h"
#include "text/TextDocument.h"

OptimizeRun OptimizeStep(TextDocument& doc) {
    return OptimizeDocument(doc);
}

void ChangeStep(TextDocument& doc, const ChangeRequest& change) {
    if (change.pattern.empty()) // an empty pattern matches nowhere
        return;
    doc.SetWholeText(
        ReplaceText(doc.WholeText(), change.pattern, change.replacement, change.caseSensitive));
}

std::string_view SaveBytes(TextDocument& doc, std::string_view keptText) {
    doc.SetPlainText(true);
    doc.AssignLines(keptText);
    return doc.WholeText();
}
