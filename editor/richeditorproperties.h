// The settings of the rich-text editor control. The control copies them into
// its rich edit window whenever they change; some need a new window.
#pragma once

#include <QColor>
#include <QString>

#include <functional>

namespace veskel {

class TRichEditor;

enum TRichEditClass
{
    recRichEdit10,
    recRichEdit20
};

enum TRichEditStreamMode : unsigned
{
    resmSelection = 1,
    resmPlainRtf = 2,
    resmRtfNoObjs = 4,
    resmUnicode = 8,
    resmTextIzed = 16,
};
using TRichEditStreamModes = unsigned;

enum TScrollStyle
{
    ssNone,
    ssHorizontal,
    ssVertical,
    ssBoth
};
enum TMouseButton
{
    mbLeft,
    mbRight,
    mbMiddle
};

using TURLClickEvent =
    std::function<void(TRichEditor *sender, const QString &urlText, TMouseButton button)>;
using TURLMoveEvent = std::function<void(TRichEditor *sender, const QString &urlText)>;

class TRichEditorProperties
{
public:
    explicit TRichEditorProperties(TRichEditor *owner);

    bool PlainText() const { return m_plainText; }
    void setPlainText(bool value);
    bool MemoMode() const { return m_memoMode; }
    void setMemoMode(bool value);
    TRichEditStreamModes StreamModes() const { return m_streamModes; }
    void setStreamModes(TRichEditStreamModes value) { m_streamModes = value; }
    TRichEditClass RichEditClass() const { return m_richEditClass; }
    // Only recRichEdit20 is taken; recRichEdit10 is ignored.
    void setRichEditClass(TRichEditClass value);
    int MaxLength() const { return m_maxLength; }
    void setMaxLength(int value);
    bool WordWrap() const { return m_wordWrap; }
    void setWordWrap(bool value);
    bool AllowObjects() const { return m_allowObjects; }
    void setAllowObjects(bool value);
    bool AutoURLDetect() const { return m_autoUrlDetect; }
    void setAutoURLDetect(bool value);
    TScrollStyle ScrollBars() const { return m_scrollBars; }
    void setScrollBars(TScrollStyle value);
    bool SelectionBar() const { return m_selectionBar; }
    void setSelectionBar(bool value);
    bool WantTabs() const { return m_wantTabs; }
    void setWantTabs(bool value);
    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool value);

    TURLClickEvent OnURLClick;
    TURLMoveEvent OnURLMove;

private:
    TRichEditor *m_owner;
    bool m_plainText = false;
    bool m_memoMode = false;
    TRichEditStreamModes m_streamModes = 0;
    TRichEditClass m_richEditClass = recRichEdit20;
    int m_maxLength = 0;
    bool m_wordWrap = true;
    bool m_allowObjects = false;
    bool m_autoUrlDetect = false;
    TScrollStyle m_scrollBars = ssNone;
    bool m_selectionBar = false;
    bool m_wantTabs = false;
    bool m_readOnly = false;
};

// The control's look while the mouse is over it.
struct TEditStyle
{
    QColor TextColor;
};

} // namespace veskel
