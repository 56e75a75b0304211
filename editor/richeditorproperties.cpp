#include "richeditorproperties.h"

#include "richeditor.h"

namespace veskel {

TRichEditorProperties::TRichEditorProperties(TRichEditor *owner)
    : m_owner(owner)
{}

void TRichEditorProperties::setPlainText(bool value)
{
    m_plainText = value;
}

void TRichEditorProperties::setMemoMode(bool value)
{
    if (m_memoMode != value) {
        m_memoMode = value;
        m_owner->RecreateWnd();
    }
}

void TRichEditorProperties::setRichEditClass(TRichEditClass value)
{
    if (value == recRichEdit20) {
        m_richEditClass = value;
    }
}

void TRichEditorProperties::setMaxLength(int value)
{
    m_maxLength = value;
    m_owner->ApplyTextLimit();
}

void TRichEditorProperties::setWordWrap(bool value)
{
    if (m_wordWrap != value) {
        m_wordWrap = value;
        m_owner->RecreateWnd();
    }
}

void TRichEditorProperties::setAllowObjects(bool value)
{
    if (m_allowObjects != value) {
        m_allowObjects = value;
        m_owner->RecreateWnd();
    }
}

void TRichEditorProperties::setAutoURLDetect(bool value)
{
    if (m_autoUrlDetect != value) {
        m_autoUrlDetect = value;
        m_owner->RecreateWnd();
    }
}

void TRichEditorProperties::setScrollBars(TScrollStyle value)
{
    if (m_scrollBars != value) {
        m_scrollBars = value;
        m_owner->RecreateWnd();
    }
}

void TRichEditorProperties::setSelectionBar(bool value)
{
    if (m_selectionBar != value) {
        m_selectionBar = value;
        m_owner->RecreateWnd();
    }
}

void TRichEditorProperties::setWantTabs(bool value)
{
    m_wantTabs = value;
    m_owner->ApplyWantTabs();
}

void TRichEditorProperties::setReadOnly(bool value)
{
    m_readOnly = value;
    m_owner->ApplyReadOnly();
}

} // namespace veskel
