#include "oledlg.h"

#include "platform/codepage.h"
#include "platform/winwindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcutEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

namespace win {

namespace {

constexpr Qt::WindowFlags kDialogFrame =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// The most average characters a file name or source takes in a message
// before its middle is left out, so that a long path never widens a dialog.
constexpr int kNameWidthInCharacters = 48;

QString shortened(const QWidget *widget, const QString &text)
{
    const QFontMetrics metrics(widget->font());
    return metrics.elidedText(text, Qt::ElideMiddle,
                              metrics.averageCharWidth() * kNameWidthInCharacters);
}

// A label for text from outside (file names, clipboard types): never read as
// markup.
QLabel *plainLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *errorLabel(QWidget *parent)
{
    QLabel *label = plainLabel(parent, QStringLiteral("errorLabel"));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
    label->setMinimumHeight(2 * label->fontMetrics().lineSpacing());
    // The dialog keeps its size when the message comes and goes.
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    label->hide();
    return label;
}

// The group that says in a sentence what OK will do.
QGroupBox *resultGroup(QWidget *parent, QLabel *&label, const QString &title)
{
    auto *group = new QGroupBox(title, parent);
    group->setObjectName(QStringLiteral("resultGroup"));
    label = plainLabel(group, QStringLiteral("resultLabel"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMinimumHeight(3 * label->fontMetrics().lineSpacing());
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 56);
    auto *layout = new QVBoxLayout(group);
    layout->addWidget(label);
    return group;
}

QVBoxLayout *buttonColumn(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel)
{
    ok = new QPushButton(QCoreApplication::translate("OleDialog", "OK"), dialog);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    cancel = new QPushButton(QCoreApplication::translate("OleDialog", "Cancel"), dialog);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto *column = new QVBoxLayout;
    column->addWidget(ok);
    column->addWidget(cancel);
    return column;
}

// An access key presses its button at once, as a click does, rather than
// after the toolkit's animated press: a second key typed straight after then
// finds the controls the first one has shown.
class AccessKeyFilter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Shortcut) {
            auto *button = qobject_cast<QAbstractButton *>(watched);
            if (button != nullptr && !static_cast<QShortcutEvent *>(event)->isAmbiguous()) {
                button->setFocus(Qt::ShortcutFocusReason);
                button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

void pressAccessKeysAtOnce(QDialog *dialog)
{
    auto *filter = new AccessKeyFilter(dialog);
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        button->installEventFilter(filter);
    }
}

QString reasonOf(HRESULT result)
{
    QString reason = ResultMessage(result);
    if (reason.isEmpty()) {
        reason = QCoreApplication::translate("OleDialog", "error 0x%1")
                     .arg(static_cast<std::uint32_t>(result), 8, 16, QLatin1Char('0'));
    }
    return reason;
}

QWidget *ownerWindow(HWND owner)
{
    return owner != nullptr ? owner->window() : nullptr;
}

// Lays the dialog out, lets the hook place it, then runs it. A dialog the hook
// has moved stays where it was put; one it has not is centred over its owner.
UINT runDialog(QDialog *dialog, LPFNOLEUIHOOK hook, LPARAM data)
{
    const QPointer<QDialog> guard(dialog);
    dialog->ensurePolished();
    if (dialog->layout() != nullptr) {
        dialog->layout()->activate();
    }
    dialog->adjustSize();
    // The platform window exists before the hook runs, so that the dialog's
    // outer rectangle includes its frame.
    dialog->winId();
    if (hook != nullptr) {
        hook(dialog, WM_INITDIALOG, 0, data);
    }
    const bool accepted = guard && dialog->exec() == QDialog::Accepted;
    // The owner may have been destroyed while the dialog was up, taking the
    // dialog with it.
    delete guard.data();
    return accepted ? OLEUI_OK : OLEUI_CANCEL;
}

// ---------------------------------------------------------------------------

class InsertObjectDialog final : public QDialog
{
    Q_DECLARE_TR_FUNCTIONS(InsertObjectDialog)

public:
    InsertObjectDialog(OLEUIINSERTOBJECTA &data, QWidget *parent);

    void accept() override;

private:
    // Makes what OK asks for; false (with the message shown) to stay open.
    bool finish();
    // The chosen file's absolute path, or false with the message shown. An
    // embedded file must fit in an object; a link holds no contents.
    bool checkFile(QString &path, bool embed);
    void showError(const QString &message, QWidget *focus);
    void clearError();
    void updateState();
    void browse();

    OLEUIINSERTOBJECTA &m_data;
    std::vector<ObjectClass> m_classes;

    QRadioButton *m_createNew = nullptr;
    QRadioButton *m_createFromFile = nullptr;
    QStackedWidget *m_pages = nullptr;
    QListWidget *m_objectTypes = nullptr;
    QLineEdit *m_fileEdit = nullptr;
    QCheckBox *m_linkCheck = nullptr;
    QCheckBox *m_displayAsIcon = nullptr;
    QLabel *m_resultLabel = nullptr;
    QLabel *m_errorLabel = nullptr;
    QPushButton *m_ok = nullptr;
};

InsertObjectDialog::InsertObjectDialog(OLEUIINSERTOBJECTA &data, QWidget *parent)
    : QDialog(parent, kDialogFrame)
    , m_data(data)
{
    // The classes the caller leaves out are not offered.
    for (ObjectClass &type : InsertableClasses()) {
        const bool excluded =
            data.lpClsidExclude != nullptr &&
            std::find(data.lpClsidExclude, data.lpClsidExclude + data.cClsidExclude, type.clsid) !=
                data.lpClsidExclude + data.cClsidExclude;
        if (!excluded) {
            m_classes.push_back(std::move(type));
        }
    }

    setObjectName(QStringLiteral("insertObjectDialog"));
    setWindowTitle(data.lpszCaption != nullptr ? DecodeAnsi(data.lpszCaption)
                                               : QStringLiteral("Insert Object"));
    const DWORD flags = data.dwFlags;

    m_createNew = new QRadioButton(tr("Create &New"), this);
    m_createNew->setObjectName(QStringLiteral("createNew"));
    m_createFromFile = new QRadioButton(tr("Create from &File"), this);
    m_createFromFile->setObjectName(QStringLiteral("createFromFile"));
    auto *choice = new QVBoxLayout;
    choice->addWidget(m_createNew);
    choice->addWidget(m_createFromFile);
    choice->addStretch();

    // Create New: the classes.
    auto *newPage = new QWidget(this);
    auto *typesLabel = new QLabel(tr("Object &Type:"), newPage);
    m_objectTypes = new QListWidget(newPage);
    m_objectTypes->setObjectName(QStringLiteral("objectTypes"));
    typesLabel->setBuddy(m_objectTypes);
    for (std::size_t i = 0; i < m_classes.size(); ++i) {
        auto *item = new QListWidgetItem(m_classes[i].userType, m_objectTypes);
        item->setData(Qt::UserRole, static_cast<int>(i));
    }
    if (m_objectTypes->count() > 0) {
        m_objectTypes->setCurrentRow(0);
    }
    auto *newLayout = new QVBoxLayout(newPage);
    newLayout->setContentsMargins(0, 0, 0, 0);
    newLayout->addWidget(typesLabel);
    newLayout->addWidget(m_objectTypes);

    // Create from File: the file and whether to link to it.
    auto *filePage = new QWidget(this);
    auto *fileLabel = new QLabel(tr("F&ile:"), filePage);
    m_fileEdit = new QLineEdit(filePage);
    m_fileEdit->setObjectName(QStringLiteral("fileEdit"));
    fileLabel->setBuddy(m_fileEdit);
    // The caller's buffer need not hold a terminating NUL within cchFile.
    m_fileEdit->setText(
        DecodeAnsi(QByteArrayView(data.lpszFile, qsizetype(strnlen(data.lpszFile, data.cchFile)))));
    auto *browseButton = new QPushButton(tr("&Browse..."), filePage);
    browseButton->setObjectName(QStringLiteral("browseButton"));
    browseButton->setAutoDefault(false);
    m_linkCheck = new QCheckBox(tr("&Link"), filePage);
    m_linkCheck->setObjectName(QStringLiteral("linkCheck"));
    const bool linkAllowed = (flags & IOF_DISABLELINK) == 0;
    m_linkCheck->setEnabled(linkAllowed);
    m_linkCheck->setChecked(linkAllowed && (flags & IOF_CHECKLINK) != 0);
    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_fileEdit, 1);
    fileRow->addWidget(browseButton);
    auto *fileLayout = new QVBoxLayout(filePage);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileLayout->addWidget(fileLabel);
    fileLayout->addLayout(fileRow);
    fileLayout->addWidget(m_linkCheck);
    fileLayout->addStretch();

    // The pages share one place; the dialog is as large as the larger.
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(newPage);
    m_pages->addWidget(filePage);

    QPushButton *cancel = nullptr;
    QVBoxLayout *buttons = buttonColumn(this, m_ok, cancel);
    buttons->addStretch();
    m_displayAsIcon = new QCheckBox(tr("&Display As Icon"), this);
    m_displayAsIcon->setObjectName(QStringLiteral("displayAsIcon"));
    const bool iconAllowed = (flags & IOF_DISABLEDISPLAYASICON) == 0;
    m_displayAsIcon->setEnabled(iconAllowed);
    m_displayAsIcon->setChecked(iconAllowed && (flags & IOF_CHECKDISPLAYASICON) != 0);
    buttons->addWidget(m_displayAsIcon);

    auto *top = new QHBoxLayout;
    top->addLayout(choice);
    top->addWidget(m_pages, 1);
    top->addLayout(buttons);

    m_errorLabel = errorLabel(this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(resultGroup(this, m_resultLabel, tr("Result")));
    layout->addWidget(m_errorLabel);

    if ((flags & IOF_SELECTCREATEFROMFILE) != 0) {
        m_createFromFile->setChecked(true);
        m_fileEdit->setFocus();
    } else {
        m_createNew->setChecked(true);
        m_objectTypes->setFocus();
    }
    updateState();
    pressAccessKeysAtOnce(this);

    for (QRadioButton *radio : {m_createNew, m_createFromFile}) {
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                clearError();
                updateState();
            }
        });
    }
    for (QCheckBox *check : {m_linkCheck, m_displayAsIcon}) {
        connect(check, &QCheckBox::toggled, this, [this] {
            clearError();
            updateState();
        });
    }
    connect(m_objectTypes, &QListWidget::currentRowChanged, this, [this] {
        clearError();
        updateState();
    });
    connect(m_objectTypes, &QListWidget::itemDoubleClicked, this, &InsertObjectDialog::accept);
    connect(m_fileEdit, &QLineEdit::textEdited, this, &InsertObjectDialog::clearError);
    connect(browseButton, &QPushButton::clicked, this, &InsertObjectDialog::browse);
}

void InsertObjectDialog::updateState()
{
    const bool fromFile = m_createFromFile->isChecked();
    m_pages->setCurrentIndex(fromFile ? 1 : 0);
    const bool icon = m_displayAsIcon->isEnabled() && m_displayAsIcon->isChecked();
    QString result;
    if (!fromFile) {
        const QListWidgetItem *item = m_objectTypes->currentItem();
        if (item == nullptr) {
            result = tr("There is no type of object to choose.");
        } else if (icon) {
            result = tr("Inserts a new %1 object into your document, shown as an icon.")
                         .arg(item->text());
        } else {
            result = tr("Inserts a new %1 object into your document.").arg(item->text());
        }
    } else if (m_linkCheck->isChecked()) {
        result = icon ? tr("Inserts an icon that stands for the file into your document. The icon "
                           "is linked to the file, so that changes to the file show in your "
                           "document.")
                      : tr("Inserts a picture of the file's contents into your document. The "
                           "picture is linked to the file, so that changes to the file show in "
                           "your document.");
    } else {
        result = icon ? tr("Inserts the contents of the file into your document as an object, "
                           "shown as an icon.")
                      : tr("Inserts the contents of the file into your document as an object.");
    }
    m_resultLabel->setText(result);
}

void InsertObjectDialog::showError(const QString &message, QWidget *focus)
{
    m_errorLabel->setText(message);
    m_errorLabel->show();
    if (focus != nullptr) {
        focus->setFocus();
    }
}

void InsertObjectDialog::clearError()
{
    m_errorLabel->hide();
    m_errorLabel->clear();
}

void InsertObjectDialog::browse()
{
    QString folder = QDir::currentPath();
    const QString typed = m_fileEdit->text().trimmed();
    if (!typed.isEmpty()) {
        const QFileInfo info(QDir::current(), typed);
        if (info.isDir()) {
            folder = info.absoluteFilePath();
        } else if (info.absoluteDir().exists()) {
            folder = info.absolutePath();
        }
    }
    const QString chosen = QFileDialog::getOpenFileName(
        this, tr("Browse"), folder, tr("All Files (*)"), nullptr, QFileDialog::DontUseNativeDialog);
    if (!chosen.isEmpty()) {
        m_fileEdit->setText(QDir::toNativeSeparators(chosen));
        clearError();
    }
}

bool InsertObjectDialog::checkFile(QString &path, bool embed)
{
    const QString typed = m_fileEdit->text().trimmed();
    if (typed.isEmpty()) {
        showError(tr("Type the name of the file to insert, or choose it with Browse."), m_fileEdit);
        return false;
    }
    const QFileInfo info(QDir::current(), typed);
    path = info.absoluteFilePath();
    const QString name = shortened(this, QDir::toNativeSeparators(path));
    if (info.isDir()) {
        showError(tr("“%1” is a folder. Choose a file in it.").arg(name), m_fileEdit);
        return false;
    }
    if (!info.exists()) {
        showError(tr("The file “%1” does not exist. Check its name and folder.").arg(name),
                  m_fileEdit);
        return false;
    }
    if (!info.isFile()) {
        // A device, pipe or socket: reading it may never end.
        showError(tr("“%1” is not an ordinary file and cannot be inserted.").arg(name), m_fileEdit);
        return false;
    }
    if (!info.isReadable()) {
        showError(tr("The file “%1” cannot be read: you are not allowed to read it.").arg(name),
                  m_fileEdit);
        return false;
    }
    // Refused before anything is read.
    if (embed && info.size() > kMaxObjectBytes) {
        const QLocale locale;
        showError(
            tr("The file “%1” is too large to insert: it holds %2, and an object can hold "
               "at most %3.")
                .arg(name,
                     locale.formattedDataSize(info.size(), 0, QLocale::DataSizeTraditionalFormat),
                     locale.formattedDataSize(kMaxObjectBytes, 0,
                                              QLocale::DataSizeTraditionalFormat)),
            m_fileEdit);
        return false;
    }
    return true;
}

bool InsertObjectDialog::finish()
{
    clearError();
    const DWORD flags = m_data.dwFlags;
    const bool fromFile = m_createFromFile->isChecked();
    const bool link = fromFile && m_linkCheck->isEnabled() && m_linkCheck->isChecked();
    const bool icon = m_displayAsIcon->isEnabled() && m_displayAsIcon->isChecked();

    CLSID clsid = CLSID_NULL;
    QString path;
    bool create = false;
    HRESULT sc = S_OK;
    std::shared_ptr<IOleObject> object;
    if (!fromFile) {
        const QListWidgetItem *item = m_objectTypes->currentItem();
        if (item == nullptr) {
            showError(tr("Choose the type of object to insert."), m_objectTypes);
            return false;
        }
        clsid = m_classes[static_cast<std::size_t>(item->data(Qt::UserRole).toInt())].clsid;
        if ((flags & IOF_CREATENEWOBJECT) != 0) {
            create = true;
            sc = OleCreate(clsid, m_data.iid, m_data.oleRender, m_data.lpFormatEtc,
                           m_data.lpIOleClientSite, m_data.lpIStorage, object);
        }
    } else {
        if (!checkFile(path, !link)) {
            return false;
        }
        if (link && (flags & IOF_CREATELINKOBJECT) != 0) {
            create = true;
            sc = OleCreateLinkToFile(path, m_data.iid, m_data.oleRender, m_data.lpFormatEtc,
                                     m_data.lpIOleClientSite, m_data.lpIStorage, object);
        } else if (!link && (flags & IOF_CREATEFILEOBJECT) != 0) {
            create = true;
            sc = OleCreateFromFile(CLSID_NULL, path, m_data.iid, m_data.oleRender,
                                   m_data.lpFormatEtc, m_data.lpIOleClientSite, m_data.lpIStorage,
                                   object);
        }
    }

    if (create) {
        if (SUCCEEDED(sc) && object == nullptr) {
            sc = E_UNEXPECTED; // success without an object is no success
        }
        m_data.sc = sc;
        if (FAILED(sc)) {
            object.reset();
            m_data.ppvObj->reset();
            const QString reason = reasonOf(sc);
            if (!fromFile) {
                showError(tr("The new object could not be made: %1.").arg(reason), m_objectTypes);
            } else {
                const QString name = shortened(this, QFileInfo(path).fileName());
                if (sc == DV_E_FORMATETC) {
                    showError(tr("“%1” could not be inserted: its name says it is a picture, but "
                                 "it holds none that can be read (%2).")
                                  .arg(name, reason),
                              m_fileEdit);
                } else {
                    showError(tr("“%1” could not be inserted: %2.").arg(name, reason), m_fileEdit);
                }
            }
            return false;
        }
        CLSID created = clsid;
        if (SUCCEEDED(object->GetUserClassID(created))) {
            clsid = created;
        }
    }

    // The object was made from the full path; the caller's copy holds what
    // fits.
    const QByteArray encoded = fromFile ? EncodeAnsi(path) : QByteArray();
    HGLOBAL picture = nullptr;
    if (icon) {
        picture =
            fromFile ? OleGetIconOfFile(path, TRUE) : OleGetIconOfClass(clsid, QString(), TRUE);
    }

    // Nothing below can fail (or throw, leaving the picture behind): hand
    // everything out.
    m_data.clsid = clsid;
    DWORD outFlags = flags & ~(IOF_SELECTCREATENEW | IOF_SELECTCREATEFROMFILE | IOF_CHECKLINK |
                               IOF_CHECKDISPLAYASICON);
    outFlags |= fromFile ? IOF_SELECTCREATEFROMFILE : IOF_SELECTCREATENEW;
    if (link) {
        outFlags |= IOF_CHECKLINK;
    }
    if (icon) {
        outFlags |= IOF_CHECKDISPLAYASICON;
    }
    m_data.dwFlags = outFlags;
    if (fromFile) {
        const std::size_t room = m_data.cchFile - 1;
        const std::size_t length = std::min(room, static_cast<std::size_t>(encoded.size()));
        std::memcpy(m_data.lpszFile, encoded.constData(), length);
        m_data.lpszFile[length] = '\0';
    }
    m_data.hMetaPict = picture;
    if (create) {
        *m_data.ppvObj = std::move(object);
    }
    return true;
}

void InsertObjectDialog::accept()
{
    bool done = false;
    try {
        done = finish();
    } catch (const std::bad_alloc &) {
        m_data.sc = E_OUTOFMEMORY;
        showError(tr("The object could not be made: %1.").arg(reasonOf(E_OUTOFMEMORY)), nullptr);
    } catch (const std::exception &) {
        m_data.sc = E_FAIL;
        showError(tr("The object could not be made: %1.").arg(reasonOf(E_FAIL)), nullptr);
    }
    if (!done && m_data.ppvObj != nullptr && FAILED(m_data.sc)) {
        m_data.ppvObj->reset();
    }
    if (done) {
        QDialog::accept();
    }
}

// ---------------------------------------------------------------------------

class PasteSpecialDialog final : public QDialog
{
    Q_DECLARE_TR_FUNCTIONS(PasteSpecialDialog)

public:
    PasteSpecialDialog(OLEUIPASTESPECIALW &data, std::shared_ptr<IDataObject> source,
                       QWidget *parent);

    void accept() override;

private:
    QString entryText(LPCWSTR text) const;
    bool iconAllowed(int entry) const;
    int selectedEntry() const;
    void fillList();
    void updateState();
    bool finish();

    OLEUIPASTESPECIALW &m_data;
    std::shared_ptr<IDataObject> m_source;
    QString m_userType; // of the object on the clipboard; empty when not known
    std::vector<int> m_pasteEntries;
    std::vector<int> m_linkEntries;
    bool m_iconWanted = false; // the user's choice, kept while the box is disabled

    QRadioButton *m_paste = nullptr;
    QRadioButton *m_pasteLink = nullptr;
    QListWidget *m_formats = nullptr;
    QCheckBox *m_displayAsIcon = nullptr;
    QLabel *m_resultLabel = nullptr;
    QPushButton *m_ok = nullptr;
};

PasteSpecialDialog::PasteSpecialDialog(OLEUIPASTESPECIALW &data,
                                       std::shared_ptr<IDataObject> source, QWidget *parent)
    : QDialog(parent, kDialogFrame)
    , m_data(data)
    , m_source(std::move(source))
{
    setObjectName(QStringLiteral("pasteSpecialDialog"));
    setWindowTitle(data.lpszCaption != nullptr ? QString::fromUtf16(data.lpszCaption)
                                               : QStringLiteral("Paste Special"));

    QString sourceName;
    if (!ObjectDescriptorOf(m_source->mimeData(), m_userType, sourceName)) {
        m_userType.clear();
        sourceName.clear();
    }

    // What the data offers, in the order of the entries.
    for (int i = 0; i < data.cPasteEntries; ++i) {
        const OLEUIPASTEENTRYW &entry = data.arrPasteEntries[i];
        if ((entry.dwFlags & OLEUIPASTE_PASTE) != 0 &&
            m_source->QueryGetData(entry.fmtetc) == S_OK) {
            m_pasteEntries.push_back(i);
        }
    }
    std::vector<bool> linkOffered(static_cast<std::size_t>(data.cLinkTypes), false);
    bool anyLinkOffered = false;
    for (int k = 0; k < data.cLinkTypes; ++k) {
        const UINT type = data.arrLinkTypes[k];
        if (type == 0 || type > 0xFFFF) {
            continue; // no clipboard format
        }
        const FORMATETC format{static_cast<CLIPFORMAT>(type), nullptr, DVASPECT_CONTENT, -1,
                               TYMED_ISTREAM};
        linkOffered[static_cast<std::size_t>(k)] = m_source->QueryGetData(format) == S_OK;
        anyLinkOffered = anyLinkOffered || linkOffered[static_cast<std::size_t>(k)];
    }
    for (int i = 0; i < data.cPasteEntries; ++i) {
        const DWORD entryFlags = data.arrPasteEntries[i].dwFlags;
        bool offered = (entryFlags & OLEUIPASTE_LINKANYTYPE) != 0 && anyLinkOffered;
        for (int k = 0; k < data.cLinkTypes && !offered; ++k) {
            offered =
                (entryFlags & (DWORD(1) << k)) != 0 && linkOffered[static_cast<std::size_t>(k)];
        }
        if (offered) {
            m_linkEntries.push_back(i);
        }
    }

    auto *sourceCaption = new QLabel(tr("Source:"), this);
    QLabel *sourceLabel = plainLabel(this, QStringLiteral("sourceLabel"));
    if (sourceName.isEmpty()) {
        sourceLabel->setText(tr("Unknown"));
    } else {
        sourceLabel->setText(shortened(sourceLabel, sourceName));
        sourceLabel->setToolTip(sourceName);
    }
    auto *sourceRow = new QHBoxLayout;
    sourceRow->addWidget(sourceCaption);
    sourceRow->addWidget(sourceLabel, 1);

    m_paste = new QRadioButton(tr("&Paste"), this);
    m_paste->setObjectName(QStringLiteral("pasteRadio"));
    m_pasteLink = new QRadioButton(tr("Paste &Link"), this);
    m_pasteLink->setObjectName(QStringLiteral("pasteLinkRadio"));
    m_pasteLink->setEnabled(!m_linkEntries.empty());
    auto *choice = new QVBoxLayout;
    choice->addSpacing(fontMetrics().lineSpacing());
    choice->addWidget(m_paste);
    choice->addWidget(m_pasteLink);
    choice->addStretch();

    auto *asLabel = new QLabel(tr("&As:"), this);
    m_formats = new QListWidget(this);
    m_formats->setObjectName(QStringLiteral("formatList"));
    asLabel->setBuddy(m_formats);
    auto *list = new QVBoxLayout;
    list->addWidget(asLabel);
    list->addWidget(m_formats);

    QPushButton *cancel = nullptr;
    QVBoxLayout *buttons = buttonColumn(this, m_ok, cancel);
    buttons->addStretch();
    m_displayAsIcon = new QCheckBox(tr("&Display As Icon"), this);
    m_displayAsIcon->setObjectName(QStringLiteral("displayAsIcon"));
    m_iconWanted = (data.dwFlags & PSF_CHECKDISPLAYASICON) != 0;
    buttons->addWidget(m_displayAsIcon);

    auto *middle = new QHBoxLayout;
    middle->addLayout(choice);
    middle->addLayout(list, 1);
    middle->addLayout(buttons);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(sourceRow);
    layout->addLayout(middle, 1);
    layout->addWidget(resultGroup(this, m_resultLabel, tr("Result")));

    // Paste Link when asked for and possible, and when it is all there is.
    const bool startOnLink = !m_linkEntries.empty() &&
                             ((data.dwFlags & PSF_SELECTPASTELINK) != 0 || m_pasteEntries.empty());
    (startOnLink ? m_pasteLink : m_paste)->setChecked(true);
    fillList();
    m_formats->setFocus();
    pressAccessKeysAtOnce(this);

    for (QRadioButton *radio : {m_paste, m_pasteLink}) {
        connect(radio, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                fillList();
            }
        });
    }
    connect(m_formats, &QListWidget::currentRowChanged, this, &PasteSpecialDialog::updateState);
    connect(m_formats, &QListWidget::itemDoubleClicked, this, &PasteSpecialDialog::accept);
    connect(m_displayAsIcon, &QCheckBox::clicked, this, [this](bool checked) {
        m_iconWanted = checked;
        updateState();
    });
}

QString PasteSpecialDialog::entryText(LPCWSTR text) const
{
    if (text == nullptr) {
        return {};
    }
    QString result = QString::fromUtf16(text);
    result.replace(QStringLiteral("%s"), m_userType.isEmpty() ? tr("Object") : m_userType);
    return result;
}

bool PasteSpecialDialog::iconAllowed(int entry) const
{
    return entry >= 0 && (m_data.dwFlags & PSF_DISABLEDISPLAYASICON) == 0 &&
           (m_data.arrPasteEntries[entry].dwFlags & OLEUIPASTE_ENABLEICON) != 0;
}

int PasteSpecialDialog::selectedEntry() const
{
    const QListWidgetItem *item = m_formats->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toInt() : -1;
}

void PasteSpecialDialog::fillList()
{
    const QSignalBlocker blocker(m_formats);
    m_formats->clear();
    for (const int entry : m_pasteLink->isChecked() ? m_linkEntries : m_pasteEntries) {
        auto *item = new QListWidgetItem(entryText(m_data.arrPasteEntries[entry].lpstrFormatName),
                                         m_formats);
        item->setData(Qt::UserRole, entry);
    }
    if (m_formats->count() > 0) {
        m_formats->setCurrentRow(0);
    }
    updateState();
}

void PasteSpecialDialog::updateState()
{
    const int entry = selectedEntry();
    const bool allowed = iconAllowed(entry);
    m_displayAsIcon->setEnabled(allowed);
    m_displayAsIcon->setChecked(allowed && m_iconWanted);
    m_ok->setEnabled(entry >= 0);

    QString result;
    if (entry < 0) {
        result = m_pasteLink->isChecked()
                     ? tr("The Clipboard holds nothing that can be pasted as a link.")
                     : tr("The Clipboard holds nothing that can be pasted here.");
    } else {
        const QString what = entryText(m_data.arrPasteEntries[entry].lpstrResultText);
        const bool icon = m_displayAsIcon->isChecked();
        if (m_pasteLink->isChecked()) {
            result = icon ? tr("Inserts an icon that stands for the Clipboard's contents (%1) into "
                               "your document. The icon is linked to the source, so that changes "
                               "to the source show in your document.")
                                .arg(what)
                          : tr("Inserts a picture of the Clipboard's contents (%1) into your "
                               "document. The picture is linked to the source, so that changes "
                               "to the source show in your document.")
                                .arg(what);
        } else {
            result = icon ? tr("Inserts the contents of the Clipboard into your document as %1, "
                               "shown as an icon.")
                                .arg(what)
                          : tr("Inserts the contents of the Clipboard into your document as %1.")
                                .arg(what);
        }
    }
    m_resultLabel->setText(result);
}

bool PasteSpecialDialog::finish()
{
    const int entry = selectedEntry();
    if (entry < 0) {
        return false;
    }
    const bool link = m_pasteLink->isChecked();
    const bool icon = m_displayAsIcon->isEnabled() && m_displayAsIcon->isChecked();

    HGLOBAL picture = nullptr;
    if (icon) {
        const QMimeData &mime = m_source->mimeData();
        const QStringList files = LocalFilesOf(mime);
        if (!files.isEmpty()) {
            picture = OleGetIconOfFile(files.first(), TRUE);
        } else {
            const bool bitmap =
                MimeDataOffers(mime, CF_BITMAP) && !mime.hasFormat(kMimeEmbeddedObject);
            picture = OleGetIconOfClass(bitmap ? CLSID_Picture : CLSID_Package, m_userType, TRUE);
        }
    }

    m_data.nSelectedIndex = entry;
    m_data.fLink = link ? TRUE : FALSE;
    DWORD flags =
        m_data.dwFlags & ~(PSF_SELECTPASTE | PSF_SELECTPASTELINK | PSF_CHECKDISPLAYASICON);
    flags |= link ? PSF_SELECTPASTELINK : PSF_SELECTPASTE;
    if (icon) {
        flags |= PSF_CHECKDISPLAYASICON;
    }
    m_data.dwFlags = flags;
    m_data.lpSrcDataObj = m_source;
    m_data.hMetaPict = picture;
    return true;
}

void PasteSpecialDialog::accept()
{
    bool done = false;
    try {
        done = finish();
    } catch (const std::exception &) {
        done = false;
    }
    if (done) {
        QDialog::accept();
    }
}

} // namespace

UINT OleUIInsertObjectA(OLEUIINSERTOBJECTA *dialog)
{
    if (dialog == nullptr) {
        return OLEUI_ERR_STRUCTURENULL;
    }
    if (dialog->cbStruct != sizeof(OLEUIINSERTOBJECTA)) {
        return OLEUI_ERR_CBSTRUCTINCORRECT;
    }
    if (dialog->lpszFile == nullptr) {
        return OLEUI_IOERR_LPSZFILEINVALID;
    }
    if (dialog->cchFile < 1) {
        return OLEUI_IOERR_CCHFILEINVALID;
    }
    if ((dialog->dwFlags & (IOF_CREATENEWOBJECT | IOF_CREATEFILEOBJECT | IOF_CREATELINKOBJECT)) !=
        0) {
        if (dialog->ppvObj == nullptr) {
            return OLEUI_IOERR_PPVOBJINVALID;
        }
        if (dialog->lpIStorage == nullptr) {
            return OLEUI_IOERR_LPISTORAGEINVALID;
        }
    }
    if (dialog->ppvObj != nullptr) {
        dialog->ppvObj->reset();
    }
    dialog->sc = S_OK;
    dialog->hMetaPict = nullptr;

    auto *window = new InsertObjectDialog(*dialog, ownerWindow(dialog->hWndOwner));
    return runDialog(window, dialog->lpfnHook, reinterpret_cast<LPARAM>(dialog));
}

UINT OleUIPasteSpecialW(OLEUIPASTESPECIALW *dialog)
{
    if (dialog == nullptr) {
        return OLEUI_ERR_STRUCTURENULL;
    }
    if (dialog->cbStruct != sizeof(OLEUIPASTESPECIALW)) {
        return OLEUI_ERR_CBSTRUCTINCORRECT;
    }
    if (dialog->arrPasteEntries == nullptr || dialog->cPasteEntries < 1) {
        return OLEUI_IOERR_ARRPASTEENTRIESINVALID;
    }
    if (dialog->cLinkTypes < 0 || dialog->cLinkTypes > 8 ||
        (dialog->cLinkTypes > 0 && dialog->arrLinkTypes == nullptr)) {
        return OLEUI_IOERR_ARRLINKTYPESINVALID;
    }
    dialog->nSelectedIndex = -1;
    dialog->fLink = FALSE;
    dialog->hMetaPict = nullptr;

    std::shared_ptr<IDataObject> data = dialog->lpSrcDataObj;
    if (data == nullptr && (FAILED(OleGetClipboard(data)) || data == nullptr)) {
        return OLEUI_PSERR_GETCLIPBOARDFAILED;
    }
    dialog->lpSrcDataObj = data;

    auto *window = new PasteSpecialDialog(*dialog, std::move(data), ownerWindow(dialog->hWndOwner));
    return runDialog(window, dialog->lpfnHook, reinterpret_cast<LPARAM>(dialog));
}

} // namespace win
