#include "veskelmain.h"

#include "app/clipboardguard.h"
#include "app/desktoplock.h"
#include "app/errorboundary.h"
#include "app/idlewatch.h"
#include "app/lockpanel.h"
#include "app/lossquestion.h"
#include "app/messageboxes.h"
#include "cmdline/cmdlinehelper.h"
#include "dialogs/frmpassword.h"
#include "editor/richeditor.h"
#include "platform/win/process.h"
#include "platform/winui/formscale.h"
#include "runtime/exceptions.h"
#include "runtime/memory.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPalette>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSessionManager>
#include <QSettings>
#include <QSplitter>
#include <QStackedLayout>
#include <QStatusBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace veskel {

namespace {

constexpr int kBarHeight = 19;
constexpr int kButtonWidth = 105;
constexpr int kPanel0Width = 200;
constexpr int kClientWidth = 479;
constexpr int kClientHeight = 304;

QWidget *newBar(QWidget *parent, const char *name)
{
    auto *bar = new QWidget(parent);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setFocusPolicy(Qt::NoFocus);
    auto *layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    bar->setFixedHeight(win::Scaled(kBarHeight, parent));
    return bar;
}

template<typename W>
W *addToBar(QWidget *bar, W *widget, const char *name, int stretch = 0)
{
    widget->setObjectName(QString::fromLatin1(name));
    widget->setFixedHeight(win::Scaled(kBarHeight, bar));
    static_cast<QHBoxLayout *>(bar->layout())->addWidget(widget, stretch);
    return widget;
}

QPushButton *barButton(QWidget *bar, const QString &caption, const char *name)
{
    auto *button = addToBar(bar, new QPushButton(caption, bar), name);
    button->setFixedWidth(win::Scaled(kButtonWidth, bar));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

#if QT_CONFIG(sessionmanager)
class DesktopSessionEnd : public SessionEnd
{
public:
    explicit DesktopSessionEnd(QSessionManager &manager)
        : m_manager(manager)
    {}
    bool allowsInteraction() override { return m_manager.allowsInteraction(); }
    void release() override { m_manager.release(); }
    void cancel() override { m_manager.cancel(); }

private:
    QSessionManager &m_manager;
};
#endif

QLabel *barLabel(QWidget *bar, const QString &caption, const char *name)
{
    auto *label = addToBar(bar, new QLabel(caption, bar), name);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    label->setFixedWidth(label->sizeHint().width());
    return label;
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent)
    , m_workflow(*this)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Veskel"));
    setFont(win::DesignFont(this));
    setPalette(QApplication::palette());
    createChildren();
    createMenu();
    createFileDialogs();
    setTabOrder();
    connectGuarded(btnFind, &TForm1::btnFindClick);
    connectGuarded(btnSearcReplace, &TForm1::btnSearcReplaceClick);
    connectGuarded(btnGoTo, &TForm1::btnGoToClick);
    connect(pnlLocked, &LockPanel::unlockRequested, this,
            [this] { RunGuarded(this, [this] { UnlockClick(); }); });
    m_idleLock = new IdleWatch(kIdleLockInterval, this);
    connect(m_idleLock, &IdleWatch::idle, this,
            [this] { RunGuarded(this, [this] { LockDocument(false); }); });
    m_idleLock->start();
    connectEditorEvents();
#if QT_CONFIG(sessionmanager)
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
        DesktopSessionEnd session(manager);
        SessionEnding(session);
    });
#endif
    resize(win::Scaled(kClientWidth, this),
           win::Scaled(kClientHeight, this) + menuBar()->sizeHint().height());
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::createChildren()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    auto *stack = new QVBoxLayout(client);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    memo1 = new TRichEditor(client);
    memo1->setObjectName(QStringLiteral("memo1"));
    TRichEditorProperties &properties = memo1->Properties();
    properties.setAllowObjects(true);
    properties.setAutoURLDetect(true);
    properties.setScrollBars(ssBoth);
    properties.setSelectionBar(true);
    properties.setWantTabs(true);
    memo1->StyleHot.TextColor = palette().color(QPalette::Highlight);

    pnlSearchReplace = newBar(client, "pnlSearchReplace");
    btnSearcReplace =
        barButton(pnlSearchReplace, QStringLiteral("Search && Replace"), "btnSearcReplace");
    Label2 = barLabel(pnlSearchReplace, QStringLiteral("  Search Token:   "), "Label2");
    Edit4 = addToBar(pnlSearchReplace, new QLineEdit(pnlSearchReplace), "Edit4");
    Edit4->setFixedWidth(win::Scaled(92, this));
    Label1 = barLabel(pnlSearchReplace, QStringLiteral("  Replace With Token:   "), "Label1");
    Edit1 = addToBar(pnlSearchReplace, new QLineEdit(pnlSearchReplace), "Edit1", 1);

    pnlFind = newBar(client, "pnlFind");
    btnFind = barButton(pnlFind, QStringLiteral("Find"), "btnFind");
    Edit3 = addToBar(pnlFind, new QLineEdit(pnlFind), "Edit3", 1);

    pnlGoto = newBar(client, "pnlGoto");
    btnGoTo = barButton(pnlGoto, QStringLiteral("Go To Line"), "btnGoTo");
    edtGoTo = addToBar(pnlGoto, new QLineEdit(pnlGoto), "edtGoTo", 1);

    for (QLineEdit *box : {Edit4, Edit1, Edit3, edtGoTo}) {
        box->setMaxLength(32767 * 1024); // as long as the toolkit allows
    }
    Label2->setBuddy(Edit4);
    Label1->setBuddy(Edit1);

    // From the top: the editing area, then the bars upwards from the status
    // bar, so that the one visible bar sits right above it.
    pnlLocked = new LockPanel(client);
    pnlLocked->hide();
    stack->addWidget(pnlLocked, 1);
    stack->addWidget(memo1, 1);
    stack->addWidget(pnlSearchReplace);
    stack->addWidget(pnlGoto);
    stack->addWidget(pnlFind);
    pnlSearchReplace->hide();
    pnlGoto->hide();
    setCentralWidget(client);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    StatusBar1->setFixedHeight(win::Scaled(kBarHeight, this));
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setFixedWidth(win::Scaled(kPanel0Width, this));
    StatusPanel1 = new QLabel(StatusBar1);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1, 1);
    setStatusBar(StatusBar1);
    nameForAssistiveTechnology();
}

void TForm1::nameForAssistiveTechnology()
{
    const auto name = [](QWidget *widget, const QString &text, const QString &description) {
        widget->setAccessibleName(text);
        widget->setAccessibleDescription(description);
    };
    name(memo1, tr("Document text"), tr("The text of the document"));
    memo1->InnerWindow()->setAccessibleText(memo1->accessibleName(),
                                            memo1->accessibleDescription());
    name(Edit3, tr("Find text"), tr("The text Find looks for"));
    name(Edit4, tr("Search token"), tr("The text Search & Replace replaces"));
    name(Edit1, tr("Replace with"), tr("The text that replaces each search token"));
    name(edtGoTo, tr("Line number"), tr("The line Go To Line moves the caret to"));
    name(pnlFind, tr("Find bar"), {});
    name(pnlSearchReplace, tr("Search and replace bar"), {});
    name(pnlGoto, tr("Go to line bar"), {});
    name(StatusBar1, tr("Status bar"), {});
    name(menuBar(), tr("Menu bar"), {});
    // The button the menu bar shows when its menus do not fit.
    for (QAbstractButton *button : menuBar()->findChildren<QAbstractButton *>()) {
        name(button, tr("More menus"), {});
    }
    name(StatusPanel0, tr("Caret position"), tr("Column and line of the caret"));
    name(StatusPanel1, tr("Status"), {});
}

void TForm1::connectGuarded(QAction *action, void (TForm1::*handler)())
{
    connect(action, &QAction::triggered, this,
            [this, handler] { RunGuarded(this, [this, handler] { (this->*handler)(); }); });
}

void TForm1::createMenu()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    const auto item = [this](QMenu *menu, const char *name, const QString &caption,
                             const QKeySequence &shortcut = {}) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action); // shortcuts work while the menu bar is closed
        return action;
    };
    const auto separator = [](QMenu *menu, const char *name) {
        menu->addSeparator()->setObjectName(QString::fromLatin1(name));
    };

    File1 = bar->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    New1 = item(File1, "New1", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N));
    Open1 = item(File1, "Open1", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O));
    separator(File1, "N3");
    Save1 = item(File1, "Save1", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    SaveAs1 = item(File1, "SaveAs1", QStringLiteral("Save &As..."));
    separator(File1, "N2");
    Lock1 = item(File1, "Lock1", QStringLiteral("&Lock"), QKeySequence(Qt::CTRL | Qt::Key_L));
    separator(File1, "N7");
    Exit1 = item(File1, "Exit1", QStringLiteral("E&xit"));

    Edit2 = bar->addMenu(QStringLiteral("&Edit"));
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Undo1 = item(Edit2, "Undo1", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    separator(Edit2, "N6");
    Cut1 = item(Edit2, "Cut1", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X));
    Copy1 = item(Edit2, "Copy1", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    Paste1 = item(Edit2, "Paste1", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V));
    PasteSpecial1 = item(Edit2, "PasteSpecial1", QStringLiteral("Paste &Special..."));
    separator(Edit2, "N5");
    Find1 = item(Edit2, "Find1", QStringLiteral("&Find..."));
    FindNext1 = item(Edit2, "FindNext1", QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3));
    FindPrevious1 = item(Edit2, "FindPrevious1", QStringLiteral("Find Pre&vious"),
                         QKeySequence(Qt::SHIFT | Qt::Key_F3));
    Replace1 = item(Edit2, "Replace1", QStringLiteral("R&eplace..."));
    GoTo1 = item(Edit2, "GoTo1", QStringLiteral("&Go To..."));
    separator(Edit2, "N4");
    Object1 = item(Edit2, "Object1", QStringLiteral("&Object"));

    Help1 = bar->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Contents1 = item(Help1, "Contents1", QStringLiteral("&Contents"));
    SearchforHelpOn1 = item(Help1, "SearchforHelpOn1", QStringLiteral("&Search for Help On..."));
    HowtoUseHelp1 = item(Help1, "HowtoUseHelp1", QStringLiteral("&How to Use Help"));
    About1 = item(Help1, "About1", QStringLiteral("&About..."));

    connectGuarded(New1, &TForm1::New1Click);
    connectGuarded(Open1, &TForm1::Open1Click);
    connectGuarded(Save1, &TForm1::Save1Click);
    connectGuarded(SaveAs1, &TForm1::SaveAs1Click);
    connectGuarded(Lock1, &TForm1::Lock1Click);
    connectGuarded(Exit1, &TForm1::Exit1Click);
    connectGuarded(Undo1, &TForm1::Undo1Click);
    connectGuarded(Cut1, &TForm1::Cut1Click);
    connectGuarded(Copy1, &TForm1::Copy1Click);
    connectGuarded(Paste1, &TForm1::Paste1Click);
    connectGuarded(PasteSpecial1, &TForm1::PasteSpecial1Click);
    connectGuarded(Find1, &TForm1::Find1Click);
    connectGuarded(FindNext1, &TForm1::FindNext1Click);
    connectGuarded(FindPrevious1, &TForm1::FindPrevious1Click);
    connectGuarded(Replace1, &TForm1::Replace1Click);
    connectGuarded(GoTo1, &TForm1::GoTo1Click);
    connectGuarded(Object1, &TForm1::Object1Click);
}

void TForm1::connectGuarded(QPushButton *button, void (TForm1::*handler)())
{
    connect(button, &QPushButton::clicked, this,
            [this, handler] { RunGuarded(this, [this, handler] { (this->*handler)(); }); });
}

void TForm1::connectEditorEvents()
{
    // The indicator shows the caret as it was before the key or click.
    memo1->OnKeyDown = [this](TRichEditor *, int &, Qt::KeyboardModifiers) {
        RunGuarded(this, [this] { memo1KeyDown(); });
    };
    memo1->OnKeyPress = [this](TRichEditor *, QChar &) {
        RunGuarded(this, [this] { memo1KeyPress(); });
    };
    memo1->OnMouseDown = [this](TRichEditor *, TMouseButton, Qt::KeyboardModifiers, int, int) {
        RunGuarded(this, [this] { memo1MouseDown(); });
    };
    memo1->Properties().OnURLClick = [this](TRichEditor *, const QString &url, TMouseButton) {
        RunGuarded(this, [this, &url] { memo1PropertiesURLClick(url); });
    };
}

QString TForm1::strongFilter()
{
    return tr("Veskel document, strong encryption (*.vsk)");
}

void TForm1::createFileDialogs()
{
    // The program keeps no settings. The toolkit's file dialog would record
    // the folders of the documents it saw (its history and last folder) in
    // the user's configuration; point the toolkit's user settings at a place
    // where nothing can be created, so that nothing is read or written.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QStringLiteral("/dev/null/veskel-keeps-no-settings"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QStringLiteral("/dev/null/veskel-keeps-no-settings"));
    const auto make = [this](const char *name, QFileDialog::AcceptMode mode) {
        auto *dialog = new QFileDialog(this);
        dialog->setObjectName(QString::fromLatin1(name));
        dialog->setAcceptMode(mode);
        dialog->setFileMode(QFileDialog::AnyFile); // the file need not exist
        dialog->setNameFilters({QStringLiteral("*.vsk (*.vsk)"), QStringLiteral("All files (*)")});
        dialog->selectNameFilter(QStringLiteral("*.vsk (*.vsk)"));
        dialog->setDefaultSuffix(QStringLiteral("vsk"));
        dialog->setOption(QFileDialog::DontUseNativeDialog, true);
        dialog->setSizeGripEnabled(true);
        return dialog;
    };
    // The save dialog asks before it replaces an existing file.
    OpenDialog1 = make("OpenDialog1", QFileDialog::AcceptOpen);
    OpenDialog1->setWindowTitle(QStringLiteral("Load a file"));
    SaveDialog1 = make("SaveDialog1", QFileDialog::AcceptSave);
    // A third type writes the strong format.
    SaveDialog1->setNameFilters(SaveDialog1->nameFilters() << strongFilter());
}

void TForm1::setTabOrder()
{
    QWidget::setTabOrder(btnSearcReplace, Edit1);
    QWidget::setTabOrder(Edit1, Edit4);
    // The editing area is the text view the editor's window hands its focus to.
    QWidget *text = memo1->InnerWindow()->focusProxy();
    QWidget::setTabOrder(Edit4, text);
    QWidget::setTabOrder(text, btnFind);
    QWidget::setTabOrder(btnFind, Edit3);
    QWidget::setTabOrder(Edit3, btnGoTo);
    QWidget::setTabOrder(btnGoTo, edtGoTo);
}

// ---------------------------------------------------------------------------
// Events

bool TForm1::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) {
        activateOnce();
    }
    return QMainWindow::event(event);
}

void TForm1::activateOnce()
{
    if (m_activated) {
        return;
    }
    m_activated = true;
    // The first focus goes to the first tab stop that is shown: the editor.
    memo1->setFocus();
    QMetaObject::invokeMethod(
        this, [this] { RunGuarded(this, [this] { FormActivate(); }); }, Qt::QueuedConnection);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    bool mayClose = false;
    if (RunGuarded(this, [this, &mayClose] { mayClose = FormClose(); }) && mayClose) {
        event->accept();
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    } else {
        event->ignore(); // the window stays open; the user may close again
    }
}

// ---------------------------------------------------------------------------
// Handlers

void TForm1::SetFileName(const QString &path)
{
    FileName = path;
    setWindowTitle(QStringLiteral("Veskel - ") + path);
}

void TForm1::FormCreate()
{
    SetFileName(QString());
}

void TForm1::FormActivate()
{
    const int count = cmdline::CmdLineParamCount();
    for (int i = 1; i <= count; ++i) {
        // A file imported as an untitled document has text of its own.
        if (!m_workflow.MayDropDocument()) {
            return;
        }
        const QString path = cmdline::CmdLineParamStr(i);
        if (!win::CommandLineArgumentDecodes(i)) {
            throw EFOpenError(path, tr("The name is not valid UTF-8, so it cannot be opened by "
                                       "name; rename the file."));
        }
        OpenDocument(path);
    }
}

bool TForm1::FormClose()
{
    return m_workflow.FormClose();
}

void TForm1::New1Click()
{
    m_workflow.NewDocument();
}

namespace {

// Widens the file dialog's date column to a full date where it is narrower,
// and returns the width the dialog needs to show all of its detail view's
// columns beside what shares their row (the sidebar, margins, frames), in
// its own font; 0 when it has no detail view.
int fitFileDialogColumns(QFileDialog *dialog)
{
    constexpr int kDateColumn = 3; // the file model's "Date Modified"
    const auto *view = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
    if (view == nullptr) {
        return 0;
    }
    const QStyle *style = view->style();
    QHeaderView *header = view->header();
    // The file model writes dates in the system locale's short format; the
    // widest of a morning and an evening in each month.
    const QFontMetrics metrics(view->font());
    int date = 0;
    for (int month = 1; month <= 12; ++month) {
        for (int hour : {10, 23}) {
            const QDateTime sample(QDate(2000, month, 28), QTime(hour, 58, 58));
            date = std::max(date, metrics.horizontalAdvance(
                                      QLocale::system().toString(sample, QLocale::ShortFormat)));
        }
    }
    date += 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    if (kDateColumn < header->count() && header->sectionSize(kDateColumn) < date) {
        header->resizeSection(kDateColumn, date);
    }
    int width =
        2 * view->frameWidth() + style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    for (int column = 0; column < header->count(); ++column) {
        if (!header->isSectionHidden(column)) {
            width += header->sectionSize(column);
        }
    }
    // What the view's ancestors put beside it, up to the dialog.
    for (const QWidget *inner = view; inner != dialog && inner->parentWidget() != nullptr;
         inner = inner->parentWidget()) {
        const QWidget *outer = inner->parentWidget();
        if (const auto *splitter = qobject_cast<const QSplitter *>(outer)) {
            for (int i = 0; i < splitter->count(); ++i) {
                const QWidget *beside = splitter->widget(i);
                if (beside != inner && beside->isVisibleTo(dialog)) {
                    width += beside->sizeHint().width() + splitter->handleWidth();
                }
            }
        } else if (const auto *frame = qobject_cast<const QFrame *>(outer)) {
            width += 2 * frame->frameWidth();
        }
        // A stacked layout gives its page all of its rectangle, margins or not.
        if (outer->layout() != nullptr &&
            qobject_cast<QStackedLayout *>(outer->layout()) == nullptr) {
            const QMargins margins = outer->layout()->contentsMargins();
            width += margins.left() + margins.right();
        }
    }
    return width;
}

} // namespace

void TForm1::fitFileDialog(QFileDialog *dialog)
{
    // Grown to show the columns; a size the user chose that is larger stays.
    QSize size = dialog->size().expandedTo(dialog->sizeHint());
    size.setWidth(std::max(size.width(), fitFileDialogColumns(dialog)));
    // Within the screen the main window is on, less the window manager's
    // frame (as around the main window).
    if (const QScreen *screen = this->screen()) {
        const QSize frame = frameGeometry().size() - geometry().size();
        size = size.boundedTo(screen->availableGeometry().size() - frame);
    }
    dialog->resize(size.expandedTo(dialog->minimumSizeHint()).expandedTo(dialog->minimumSize()));
}

bool TForm1::runFileDialog(QFileDialog *dialog, QString &path)
{
    if (RunFileDialog) {
        return RunFileDialog(dialog, path);
    }
    if (!path.isEmpty()) {
        dialog->selectFile(path);
    }
    fitFileDialog(dialog);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) {
        return false;
    }
    path = dialog->selectedFiles().constFirst();
    return true;
}

void TForm1::Save1Click()
{
    m_workflow.Save();
}

void TForm1::SaveAs1Click()
{
    m_workflow.SaveAs();
}

void TForm1::Open1Click()
{
    if (!m_workflow.MayDropDocument()) {
        return;
    }
    QString path = FileName;
    if (runFileDialog(OpenDialog1, path)) {
        OpenDocument(path);
    }
}

void TForm1::SessionEnding(SessionEnd &session)
{
    bool mayEnd = true;
    const bool settled = RunGuarded(this, [this, &session, &mayEnd] {
        if (!m_workflow.IsModified()) {
            return;
        }
        // Without leave to ask, unsaved changes hold the session up.
        mayEnd = false;
        if (session.allowsInteraction()) {
            const auto release = qScopeGuard([&session] { session.release(); });
            mayEnd = m_workflow.MayEndSession();
        }
    });
    if (!settled || !mayEnd) {
        session.cancel();
    }
}

void TForm1::Lock1Click()
{
    LockDocument(true);
}

void TForm1::LockDocument(bool canAsk)
{
    if (IsLocked()) {
        return;
    }
    if (QApplication::activeModalWidget() != nullptr) {
        cancelDialogsThenLock(0);
        return;
    }
    lockNow(canAsk);
}

// Nothing stays readable behind a dialog: each is cancelled, and the lock
// waits until the code that opened it has returned, cancelling what that code
// opens next. A dialog that will not go is locked behind after a few rounds.
void TForm1::cancelDialogsThenLock(int round)
{
    constexpr int kRounds = 8;
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        if (modal->isVisible()) {
            break;
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, round] {
            RunGuarded(this, [this, round] {
                if (QApplication::activeModalWidget() != nullptr && round < kRounds) {
                    cancelDialogsThenLock(round + 1);
                } else {
                    lockNow(false);
                }
            });
        },
        Qt::QueuedConnection);
}

void TForm1::WatchDesktopLock(const QDBusConnection &sessionBus, const QDBusConnection &systemBus)
{
    delete m_desktopLock;
    m_desktopLock = new DesktopLockWatch(sessionBus, systemBus, this);
    connect(m_desktopLock, &DesktopLockWatch::lockRequested, this,
            [this] { RunGuarded(this, [this] { LockDocument(false); }); });
}

void TForm1::lockNow(bool canAsk)
{
    if (IsLocked()) {
        return;
    }
    if (m_workflow.Lock(canAsk) == LockOutcome::Cancelled) {
        return;
    }
    // The password box keeps what was typed last; not past a lock. (Set,
    // not cleared: clearing keeps the text as an undo step.)
    if (Form2 != nullptr) {
        Form2->Edit1->setText(QString());
    }
    ClearOwnClipboard();
    showLocked(true);
}

void TForm1::UnlockClick()
{
    QString password = pnlLocked->TakePassword();
    const WipedOnExit wipePassword(password);
    if (m_workflow.Unlock(password)) {
        showLocked(false);
    }
}

void TForm1::showLocked(bool locked)
{
    if (locked) {
        m_barBeforeLock = nullptr;
        for (QWidget *bar : {pnlFind, pnlSearchReplace, pnlGoto}) {
            if (bar->isVisible()) {
                m_barBeforeLock = bar;
            }
            bar->hide();
        }
        m_enabledBeforeLock.clear();
        for (QAction *action : actions()) {
            if (action != Exit1 && action->isEnabled()) {
                m_enabledBeforeLock << action;
                action->setEnabled(false);
            }
        }
        memo1->hide();
        StatusBar1->hide();
        pnlLocked->ShowLocked(m_workflow.LockedSealed(), m_workflow.IsModified());
        return;
    }
    pnlLocked->hide();
    memo1->show();
    StatusBar1->show();
    if (m_barBeforeLock != nullptr) {
        m_barBeforeLock->show();
    }
    for (QAction *action : std::as_const(m_enabledBeforeLock)) {
        action->setEnabled(true);
    }
    m_enabledBeforeLock.clear();
    UpdateCaretStatus();
    memo1->setFocus();
}

bool TForm1::ConfirmDiscardLocked()
{
    return AskChoice(this,
                     QStringLiteral("The locked document has unsaved changes. Unlock it to save "
                                    "them, or discard them?"),
                     {QStringLiteral("&Discard"), QStringLiteral("&Cancel")}, 1, 1) == 0;
}

void TForm1::Exit1Click()
{
    close();
}

// ---------------------------------------------------------------------------
// What the workflow asks of the window

int TForm1::ShowPasswordDialog()
{
    return Form2 != nullptr ? Form2->ShowModal() : mrCancel;
}

QString TForm1::PasswordText() const
{
    return Form2 != nullptr ? Form2->Edit1->text() : QString();
}

void TForm1::ShowMessage(const QString &text)
{
    ShowPlainMessage(this, text);
}

LossyAnswer TForm1::ConfirmLossySave(const OldFormatLoss &loss)
{
    switch (AskChoice(this, OldFormatLossQuestion(loss),
                      {tr("Save in the &strong format"), tr("Save in the &old format"),
                       QStringLiteral("&Cancel")},
                      0, 2)) {
    case 0:
        return LossyAnswer::SaveStrong;
    case 1:
        return LossyAnswer::SaveOld;
    default:
        return LossyAnswer::Cancel;
    }
}

int TForm1::ShowPasswordAgain(QString &typed)
{
    // A dialog of its own, empty each time and gone after it: the password
    // box of the first entry keeps what was typed there, this one nothing.
    TForm2 again(this);
    again.setObjectName(QStringLiteral("Form2Again"));
    again.setWindowTitle(QStringLiteral("Type the password again"));
    again.Edit1->setAccessibleName(tr("Password again"));
    again.Edit1->setAccessibleDescription(tr("The new password once more, to catch a typing slip"));
    const int result = again.ShowModal();
    if (result == mrOk) {
        typed = again.Edit1->text();
    }
    again.Edit1->clear();
    return result;
}

UnsavedAnswer TForm1::AskSaveChanges(const QString &path)
{
    const QString question = path.isEmpty()
                                 ? QStringLiteral("Save the new document?")
                                 : QStringLiteral("Save the changes to \"%1\"?").arg(path);
    switch (AskChoice(
        this, question,
        {QStringLiteral("&Save"), QStringLiteral("&Discard"), QStringLiteral("&Cancel")}, 0, 2)) {
    case 0:
        return UnsavedAnswer::Save;
    case 1:
        return UnsavedAnswer::Discard;
    default:
        return UnsavedAnswer::Cancel;
    }
}

WrongPasswordAnswer TForm1::AskAfterWrongPassword()
{
    const int answer = AskChoice(this, QStringLiteral("The password is wrong."),
                                 {QStringLiteral("OK"), QStringLiteral("&Show it anyway")}, 0, 0);
    return answer == 1 ? WrongPasswordAnswer::ShowAnyway : WrongPasswordAnswer::TryAgain;
}

bool TForm1::ChooseSavePath(QString &path, DocumentFormat &format)
{
    const QStringList filters = SaveDialog1->nameFilters();
    SaveDialog1->selectNameFilter(format == DocumentFormat::Strong ? strongFilter()
                                                                   : filters.constFirst());
    if (!runFileDialog(SaveDialog1, path)) {
        return false;
    }
    format = SaveDialog1->selectedNameFilter() == strongFilter() ? DocumentFormat::Strong
                                                                 : DocumentFormat::Old;
    return true;
}

void TForm1::ShowFormat(DocumentFormat format)
{
    switch (format) {
    case DocumentFormat::None:
        m_formatText.clear();
        break;
    case DocumentFormat::Old:
        m_formatText = tr("Old format");
        break;
    case DocumentFormat::Strong:
        m_formatText = tr("Strong encryption");
        break;
    }
    showStatusPanel1();
}

void TForm1::showSearchNote(const QString &note)
{
    m_searchNote = note;
    showStatusPanel1();
}

void TForm1::clearSearchNote()
{
    if (!m_searchNote.isEmpty()) {
        showSearchNote(QString());
    }
}

void TForm1::showStatusPanel1()
{
    StatusPanel1->setText(m_searchNote.isEmpty() ? m_formatText : m_searchNote);
    // A screen reader reads the name, which must carry what the panel shows.
    StatusPanel1->setAccessibleName(
        StatusPanel1->text().isEmpty() ? tr("Status") : tr("Status: %1").arg(StatusPanel1->text()));
}

void TForm1::SetBusy(bool busy)
{
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

bool TForm1::ConfirmOverwriteChanged(const QString &path)
{
    return AskYesNo(this, QStringLiteral("The file \"%1\" has been changed by another program "
                                         "since it was opened. Overwrite it?")
                              .arg(path));
}

} // namespace veskel
