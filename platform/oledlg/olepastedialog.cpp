// The paste-special dialog: the clipboard's data in a chosen format, pasted or
// linked, shown as content or icon.
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

// No paste entry: nothing chosen, or nothing in the list.
constexpr int kNoEntry = -1;

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

PasteSpecialDialog::PasteSpecialDialog(OLEUIPASTESPECIALW &request,
                                       std::shared_ptr<IDataObject> source, QWidget *parent)
    : QDialog(parent, kDialogFrame)
    , m_data(request)
    , m_source(std::move(source))
{
    setObjectName(QStringLiteral("pasteSpecialDialog"));
    setWindowTitle(request.lpszCaption != nullptr ? QString::fromUtf16(request.lpszCaption)
                                                  : QStringLiteral("Paste Special"));

    QString sourceName;
    if (!ObjectDescriptorOf(m_source->mimeData(), m_userType, sourceName)) {
        m_userType.clear();
        sourceName.clear();
    }

    // What the request offers, in the order of the entries.
    for (int i = 0; i < request.cPasteEntries; ++i) {
        const OLEUIPASTEENTRYW &entry = request.arrPasteEntries[i];
        if ((entry.dwFlags & OLEUIPASTE_PASTE) != 0 &&
            m_source->QueryGetData(entry.fmtetc) == S_OK) {
            m_pasteEntries.push_back(i);
        }
    }
    std::vector<bool> linkOffered(static_cast<std::size_t>(request.cLinkTypes), false);
    bool anyLinkOffered = false;
    for (int k = 0; k < request.cLinkTypes; ++k) {
        const UINT type = request.arrLinkTypes[k];
        if (type == 0 || type > 0xFFFF) {
            continue; // no clipboard format
        }
        const FORMATETC format{static_cast<CLIPFORMAT>(type), nullptr, DVASPECT_CONTENT, -1,
                               TYMED_ISTREAM};
        linkOffered[static_cast<std::size_t>(k)] = m_source->QueryGetData(format) == S_OK;
        anyLinkOffered = anyLinkOffered || linkOffered[static_cast<std::size_t>(k)];
    }
    for (int i = 0; i < request.cPasteEntries; ++i) {
        const DWORD entryFlags = request.arrPasteEntries[i].dwFlags;
        bool offered = (entryFlags & OLEUIPASTE_LINKANYTYPE) != 0 && anyLinkOffered;
        for (int k = 0; k < request.cLinkTypes && !offered; ++k) {
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
    m_iconWanted = (request.dwFlags & PSF_CHECKDISPLAYASICON) != 0;
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
    const bool startOnLink =
        !m_linkEntries.empty() &&
        ((request.dwFlags & PSF_SELECTPASTELINK) != 0 || m_pasteEntries.empty());
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
    return entry != kNoEntry && (m_data.dwFlags & PSF_DISABLEDISPLAYASICON) == 0 &&
           (m_data.arrPasteEntries[entry].dwFlags & OLEUIPASTE_ENABLEICON) != 0;
}

int PasteSpecialDialog::selectedEntry() const
{
    const QListWidgetItem *item = m_formats->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toInt() : kNoEntry;
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
    m_ok->setEnabled(entry != kNoEntry);

    QString result;
    if (entry == kNoEntry) {
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
    if (entry == kNoEntry) {
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
    if (dialog->cLinkTypes < 0 || dialog->cLinkTypes > PS_MAXLINKTYPES ||
        (dialog->cLinkTypes > 0 && dialog->arrLinkTypes == nullptr)) {
        return OLEUI_IOERR_ARRLINKTYPESINVALID;
    }
    dialog->nSelectedIndex = kNoEntry;
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
