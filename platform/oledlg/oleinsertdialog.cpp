// The insert-object dialog: a new object of a class this platform makes, or
// an object from a file, embedded or linked, shown as content or icon.
#include "platform/oledlg/oledlg.h"
#include "platform/oledlg/oledlgparts_p.h"
#include "platform/win/codepage.h"
#include "platform/winui/winwindow.h"

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
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

namespace win {

using namespace dialogparts;

namespace {

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

InsertObjectDialog::InsertObjectDialog(OLEUIINSERTOBJECTA &request, QWidget *parent)
    : QDialog(parent, kDialogFrame)
    , m_data(request)
{
    // The classes the caller leaves out are not offered.
    for (ObjectClass &type : InsertableClasses()) {
        const bool excluded =
            request.lpClsidExclude != nullptr &&
            std::find(request.lpClsidExclude, request.lpClsidExclude + request.cClsidExclude,
                      type.clsid) != request.lpClsidExclude + request.cClsidExclude;
        if (!excluded) {
            m_classes.push_back(std::move(type));
        }
    }

    setObjectName(QStringLiteral("insertObjectDialog"));
    setWindowTitle(request.lpszCaption != nullptr ? DecodeAnsi(request.lpszCaption)
                                                  : QStringLiteral("Insert Object"));
    const DWORD flags = request.dwFlags;

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
    m_fileEdit->setText(DecodeAnsi(
        QByteArrayView(request.lpszFile, qsizetype(strnlen(request.lpszFile, request.cchFile)))));
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

} // namespace win
