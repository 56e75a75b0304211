// Answering the object dialogs from a test, and files to insert.
#pragma once

#include "support/files.h"
#include "support/modalscript.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace veskel::test {

// Acts on the next modal dialog as soon as it is shown; any modal dialog
// after it is unexpected.
class DialogAnswer : public ModalScript
{
public:
    explicit DialogAnswer(std::function<void(QDialog *)> act) { expectDialog(std::move(act)); }

    bool answered() const { return done(); }
    // The dialog's frame when it was shown.
    QRect geometry() const { return geometries().value(0); }
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
