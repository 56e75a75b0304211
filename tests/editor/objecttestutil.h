// Answering the object dialogs from a test, and files to insert.
#pragma once

#include "../unexpecteddialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace veskel::test {

// Acts on the next modal dialog as soon as it is shown. The dialog's frame
// geometry at that moment is kept. Any modal dialog after it is unexpected.
class DialogAnswer
{
public:
    explicit DialogAnswer(std::function<void(QDialog *)> act)
        : m_act(std::move(act))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }

    bool answered() const { return m_answered; }
    QRect geometry() const { return m_geometry; }

private:
    void poll()
    {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) {
            return;
        }
        if (m_answered) {
            m_unexpected.close(dialog, "one dialog was scripted");
            return;
        }
        m_answered = true;
        m_geometry = dialog->frameGeometry();
        m_act(dialog);
    }

    UnexpectedDialogs m_unexpected; // checked when the answer goes
    std::function<void(QDialog *)> m_act;
    QTimer m_timer;
    bool m_answered = false;
    QRect m_geometry;
};

template<typename T>
T *child(QDialog *dialog, const char *name)
{
    T *found = dialog->findChild<T *>(QString::fromLatin1(name));
    if (found == nullptr) {
        qWarning("the dialog has no %s", name);
    }
    return found;
}

inline void press(QDialog *dialog, const char *button)
{
    if (auto *found = child<QAbstractButton>(dialog, button)) {
        found->click();
    } else {
        dialog->reject();
    }
}

// The insert-object dialog: a new picture, or a file (linked or not), shown
// as content or icon.
inline void answerInsertNew(QDialog *dialog, bool asIcon)
{
    child<QRadioButton>(dialog, "createNew")->click();
    child<QCheckBox>(dialog, "displayAsIcon")->setChecked(asIcon);
    press(dialog, "okButton");
}

inline void answerInsertFile(QDialog *dialog, const QString &path, bool link, bool asIcon)
{
    child<QRadioButton>(dialog, "createFromFile")->click();
    child<QLineEdit>(dialog, "fileEdit")->setText(path);
    child<QCheckBox>(dialog, "linkCheck")->setChecked(link);
    child<QCheckBox>(dialog, "displayAsIcon")->setChecked(asIcon);
    press(dialog, "okButton");
}

// The paste-special dialog: the item shown with this name.
inline void answerPasteSpecial(QDialog *dialog, const QString &formatName, bool link = false,
                               bool asIcon = false)
{
    child<QRadioButton>(dialog, link ? "pasteLinkRadio" : "pasteRadio")->click();
    auto *list = child<QListWidget>(dialog, "formatList");
    const QList<QListWidgetItem *> items = list->findItems(formatName, Qt::MatchExactly);
    if (items.isEmpty()) {
        qWarning("no paste entry %s", qPrintable(formatName));
        dialog->reject();
        return;
    }
    list->setCurrentItem(items.front());
    if (auto *icon = child<QCheckBox>(dialog, "displayAsIcon"); icon->isEnabled()) {
        icon->setChecked(asIcon);
    }
    press(dialog, "okButton");
}

inline QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qWarning("cannot write %s", qPrintable(path));
    }
    return path;
}

inline QString writePicture(const QTemporaryDir &dir, const QString &name, QSize size,
                            QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    image.save(path, "PNG");
    return path;
}

} // namespace veskel::test
