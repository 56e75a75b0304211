// TForm1's bars, edit commands, caret indicator and links.
#include "app/linkpolicy.h"
#include "app/messageboxes.h"
#include "editor/richeditor.h"
#include "platform/winui/shell.h"
#include "runtime/strtoint.h"
#include "veskelmain.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include <limits>

namespace veskel {

namespace {

// The hourglass while it lives, and the cursor before it afterwards, however
// the scope is left.
class HourglassCursor
{
public:
    HourglassCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~HourglassCursor() { QApplication::restoreOverrideCursor(); }
    HourglassCursor(const HourglassCursor &) = delete;
    HourglassCursor &operator=(const HourglassCursor &) = delete;
};

} // namespace

// ---------------------------------------------------------------------------
// Bars

void TForm1::ShowBar(QWidget *bar, QWidget *focusTarget)
{
    if (!bar->isVisible()) {
        bar->show();
        for (QWidget *other : {pnlFind, pnlSearchReplace, pnlGoto}) {
            if (other != bar) {
                other->hide();
            }
        }
    }
    if (bar->isVisible()) {
        focusTarget->setFocus();
    }
}

void TForm1::Find1Click()
{
    ShowBar(pnlFind, Edit3);
}

void TForm1::Replace1Click()
{
    ShowBar(pnlSearchReplace, Edit4);
}

void TForm1::GoTo1Click()
{
    ShowBar(pnlGoto, edtGoTo);
}

void TForm1::FindNext1Click()
{
    findAgain(true);
}

void TForm1::FindPrevious1Click()
{
    findAgain(false);
}

void TForm1::findAgain(bool forward)
{
    const QString token = Edit3->text();
    if (token.isEmpty()) {
        Find1Click(); // nothing to look for yet: the find bar asks
        return;
    }
    const int start = memo1->SelectionStart();
    const int end = start + memo1->SelectionLength();
    // A range past the content ends with it: no copy of the text is taken to
    // measure it.
    constexpr int kToTheEnd = std::numeric_limits<int>::max();
    // Past the selection to the end (before it to the start), then the
    // whole text from the other end, so that a lone match is found again.
    int found =
        forward ? memo1->Find(token, end, kToTheEnd) : memo1->Find(token, start, start, 0, false);
    bool wrapped = false;
    if (found == -1) {
        wrapped = true;
        found = forward ? memo1->Find(token, 0, kToTheEnd)
                        : memo1->Find(token, kToTheEnd, kToTheEnd, 0, false);
    }
    memo1->setFocus();
    if (found == -1) {
        showSearchNote(tr("Not found: \"%1\"").arg(token));
        return;
    }
    memo1->setSelectionStart(found);
    memo1->setSelectionLength(static_cast<int>(token.size()));
    UpdateCaretStatus();
    showSearchNote(wrapped ? tr("Search wrapped") : QString());
}

void TForm1::btnFindClick()
{
    clearSearchNote();
    const QString token = Edit3->text();
    const int length = static_cast<int>(memo1->LinesText().size());
    FoundPos = memo1->Find(token, 0, length);
    memo1->setFocus();
    memo1->setSelectionStart(FoundPos);
    memo1->setSelectionLength(static_cast<int>(token.size()));
}

void TForm1::btnSearcReplaceClick()
{
    ReplaceAll(Edit4->text(), Edit1->text());
}

void TForm1::ReplaceAll(const QString &search, const QString &replacement)
{
    const HourglassCursor hourglass;
    const int length = static_cast<int>(memo1->LinesText().size());
    const auto searchLength = static_cast<int>(search.size());
    const auto replacementLength = static_cast<int>(replacement.size());
    // An empty token is found nowhere, so the loop ends.
    int position = memo1->Find(search, 0, length);
    int replaced = 0;
    while (position != -1) {
        memo1->setFocus();
        memo1->setSelectionStart(position);
        memo1->setSelectionLength(searchLength);
        memo1->ReplaceSelection(replacement);
        ++replaced;
        position = memo1->Find(search, position + replacementLength, length);
    }
    if (search.isEmpty()) {
        showSearchNote(QString());
    } else if (replaced == 0) {
        showSearchNote(tr("Not found: \"%1\"").arg(search));
    } else {
        showSearchNote(tr("%n replaced", nullptr, replaced));
    }
}

void TForm1::btnGoToClick()
{
    memo1->setFocus();
    const int line = StrToInt(edtGoTo->text());
    memo1->SetCaretPosition(1, line);
}

// ---------------------------------------------------------------------------
// Edit commands

void TForm1::Undo1Click()
{
    clearSearchNote();
    memo1->Undo();
}

void TForm1::Cut1Click()
{
    clearSearchNote();
    memo1->Cut();
}

void TForm1::Copy1Click()
{
    memo1->Copy();
}

void TForm1::Paste1Click()
{
    clearSearchNote();
    memo1->Paste();
}

void TForm1::PasteSpecial1Click()
{
    clearSearchNote();
    memo1->PasteSpecial(); // whether something was pasted does not matter here
}

void TForm1::Object1Click()
{
    clearSearchNote();
    memo1->InsertObject();
}

// ---------------------------------------------------------------------------
// Caret indicator and links

void TForm1::UpdateCaretStatus()
{
    const int position = memo1->SelectionStart();
    const int line = memo1->LineFromPosition(position);
    const int column = position - memo1->LineStart(line);
    StatusPanel0->setText(QStringLiteral("%1 : %2").arg(column).arg(line));
    // A screen reader reads the name: it carries the value.
    StatusPanel0->setAccessibleName(tr("Caret position %1").arg(StatusPanel0->text()));
}

void TForm1::memo1KeyDown()
{
    clearSearchNote();
    UpdateCaretStatus();
}

void TForm1::memo1KeyPress()
{
    UpdateCaretStatus();
}

void TForm1::memo1MouseDown()
{
    clearSearchNote();
    UpdateCaretStatus();
}

void TForm1::memo1PropertiesURLClick(const QString &urlText)
{
    // A document may come from anyone: only web and mail links open at a
    // click; anything else is asked about with its whole target, and a local
    // file that would run is never handed to the desktop.
    const LinkDecision decision = DecideLink(urlText);
    QString file = urlText;
    switch (decision.action) {
    case LinkAction::Open:
        break;
    case LinkAction::Ask:
        file = decision.target.toString(QUrl::FullyEncoded);
        if (!AskYesNo(this, tr("Open \"%1\"?").arg(file))) {
            return;
        }
        break;
    case LinkAction::Refuse:
        ShowPlainMessage(this,
                         tr("Veskel does not open \"%1\": %2.")
                             .arg(decision.target.toString(QUrl::FullyEncoded), decision.reason));
        return;
    }
    // The result is not looked at: a link the desktop cannot open shows nothing.
    win::ShellExecuteW(this, u"open", reinterpret_cast<const win::WCHAR *>(file.utf16()), u"",
                       nullptr, win::SW_SHOWNORMAL);
}

} // namespace veskel
