// The rich edit window's drawing of objects in its text.
#pragma once

#include <QObject>
#include <QTextObjectInterface>

namespace win {

class RichEditWindow;

class ObjectDrawer : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    explicit ObjectDrawer(RichEditWindow *window);

    QSizeF intrinsicSize(QTextDocument *document, int positionInDocument,
                         const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *document,
                    int positionInDocument, const QTextFormat &format) override;

private:
    RichEditWindow *m_window;
};

} // namespace win
