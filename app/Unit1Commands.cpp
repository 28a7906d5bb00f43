#include "app/Unit1Commands.h"

#include "app/PathBytes.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <string>

// What a change field holds, as the program's text: every line break CR LF.
std::string MemoText(const QPlainTextEdit& memo) {
    // The raw text keeps every character as typed (no-break spaces included);
    // blocks are separated by paragraph separators, Shift+Enter gives a line
    // separator.
    const QString raw = memo.document()->toRawText();
    QString text;
    text.reserve(raw.size() + raw.size() / 8);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw.at(i);
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || c == QLatin1Char('\n')) {
            text += QLatin1String("\r\n");
        } else if (c == QLatin1Char('\r')) {
            text += QLatin1String("\r\n");
            if (i + 1 < raw.size() && raw.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            text += c;
        }
    }
    return text.toUtf8().toStdString();
}

// A path chosen in a file dialog, as the program's bytes.
std::string ChosenPath(const QFileDialog& dialog) {
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? std::string() : PathBytesOf(files.first());
}
