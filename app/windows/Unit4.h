#pragma once
// The file types window "Files to modify": a check list of file-name masks whose
// checked entries make up FileTypes and unchecked ones UncheckedTypes. The user
// ticks entries, adds a mask, restores the sixteen defaults, and saves the list
// (to the two strings and the settings store) or cancels (back to the strings).

#include <QFrame>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QWidget>

#include <string>

class QCloseEvent;
class QKeyEvent;
class QLabel;
class QPushButton;
class QResizeEvent;

// A list of texts with a check mark each; rows 13 pixels high, no type-ahead
// search. A click in an entry's check box or Space on the current entry toggles it.
class TCheckListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TCheckListBox(QWidget* parent = nullptr);
    void keyboardSearch(const QString& search) override;
};

// A text box one line high that passes Tab on to the next control; Enter does
// not break the line (Ctrl+Enter still does) but is reported as returnPressed.
class TOneLineMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TOneLineMemo(QWidget* parent = nullptr);

Q_SIGNALS:
    void returnPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The band of the three main buttons: "Cancel" keeps its place at the left,
// "Default" its place relative to the band's centre, "Save" its distance from
// the right and bottom edges.
class TButtonBand : public QFrame {
    Q_OBJECT
public:
    explicit TButtonBand(QWidget* parent = nullptr);
    void SetButtons(QPushButton* left, QPushButton* middle, QPushButton* right);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceButtons();

    QPushButton* left_ = nullptr;
    QPushButton* middle_ = nullptr;
    QPushButton* right_ = nullptr;
};

class TForm4 : public QWidget {
    Q_OBJECT
public:
    TForm4();

    QLabel* Label2 = nullptr;
    TCheckListBox* CheckListBox1 = nullptr;
    QWidget* Panel1 = nullptr; // the bottom area
    QFrame* Panel2 = nullptr;  // spacer band
    QWidget* Panel3 = nullptr; // entry band
    QFrame* Panel4 = nullptr;  // holds Label1
    QLabel* Label1 = nullptr;
    TOneLineMemo* Memo1 = nullptr;
    QWidget* Panel5 = nullptr;      // holds Button3
    QPushButton* Button3 = nullptr; // "Add"
    TButtonBand* Panel6 = nullptr;  // button band
    QPushButton* Button1 = nullptr; // "Cancel"
    QPushButton* Button4 = nullptr; // "Default"
    QPushButton* Button2 = nullptr; // "Save"

    void FormCreate();
    void Button3Click(); // Add
    void Button4Click(); // Default
    void Button2Click(); // Save
    void Button1Click(); // Cancel

    // Memo1's text as the program's bytes; line breaks are CR LF.
    std::string MemoText() const;

protected:
    // A close request from the window system acts as "Cancel".
    void closeEvent(QCloseEvent* event) override;

private:
    void FillList();
    void AppendEntries(const std::string& list, bool checked);
    void AppendEntry(const std::string& text, bool checked);
};

extern TForm4* Form4;
