#include "app/windows/Unit2.h"

#include "app/AppIcon.h"
#include "app/ProgramFont.h"
#include "app/WindowPlacement.h"

#include <QFont>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QTabWidget>

#include <initializer_list>

TForm2* Form2 = nullptr;

namespace {

struct HelpLine {
    int y;
    const char* text;
    bool underlined;
};

const HelpLine kOptimizationPage[] = {
    {8, "The Website Optimizer deletes unnecessary", false},
    {24, "characters like more than one white space in a row", false},
    {40, "(New Line, Tab, Space) without damaging the", false},
    {56, "content of the web page.", false},
    {80, "Instructions:", true},
    {96, "Click on the \"Load File\" button and select a", false},
    {112, "file to optimize. Now press \"Optimize File\".", false},
    {128, "By pressing \"Save File\" you'll save the optimized", false},
    {144, "file. \"Space saved\" will show you the difference", false},
    {160, "between the size of the old and the new", false},
    {176, "optimized file.", false},
    {200, "\"Load Dir\", \"Optimize Dir\" and \"Save All\" do the", false},
    {216, "same but will process a specified directory and", false},
    {232, "automatically modify all files in it the way you like.", false},
};

const HelpLine kReplacingPage[] = {
    {8, "Another useful tool is the Change File (Change Dir)", false},
    {24, "button which lets you replace certain substrings", false},
    {40, "of a document by anything you like.", false},
    {56, "If you just want to delete certain substrings,", false},
    {72, "simply leave the \"to\" field empty.", false},
    {96, "Instructions:", true},
    {112, "Type the text you want to replace into the field", false},
    {128, "next to \"Change\". Now type the text you like to", false},
    {144, "repace it with into the field next to \"to\".", false},
    {160, "Press \"Change File\" to mofify one file or \"Change", false},
    {176, "Dir\" to modify all files in a directory. Now click on", false},
    {192, "\"Save File\" to save the file / \"Save Dir\" to save", false},
    {208, "all files if you've chosen \"Change Dir\".", false},
};

template <std::size_t N> void FillPage(QWidget* page, const HelpLine (&lines)[N]) {
    for (const HelpLine& line : lines) {
        auto* label = new QLabel(page);
        label->setTextFormat(Qt::PlainText);
        label->setText(QString::fromUtf8(line.text));
        if (line.underlined) {
            QFont font = label->font();
            font.setUnderline(true);
            label->setFont(font);
        }
        label->setGeometry(8, line.y, label->sizeHint().width(), 13);
    }
}

} // namespace

TForm2::TForm2()
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Help"));
    setWindowIcon(VelocitrixIcon());
    // Closing it hides it; only the main window's closing ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    setFont(ProgramFont());

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Website Optimization"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Replacing Strings"));
    FillPage(TabSheet1, kOptimizationPage);
    FillPage(TabSheet2, kReplacingPage);
    PageControl1->setCurrentIndex(0);

    setFixedSize(265, 283);
    PageControl1->setGeometry(0, 0, 265, 283);
    move(343, 197);
    KeepInsideScreen(*this);

    // Escape closes it, as it closes the platform's other help windows.
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this,
            [this] { hide(); });
}
