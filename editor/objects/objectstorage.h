// The object services the editor control builds on: storage for a new
// object, switching an object between content and icon, placing the object
// dialogs, the registered clipboard formats, and turning a failed result into
// an error.
#pragma once

#include "platform/ole/oleobject.h"
#include "platform/ole/oletypes.h"
#include "platform/oledlg/oledlg.h"

#include <memory>

namespace veskel {

// The registered clipboard formats, 0 until RegisterObjectClipboardFormats.
struct ObjectClipboardFormats
{
    win::UINT objectDescriptor = 0;
    win::UINT embeddedObject = 0;
    win::UINT linkSource = 0;
    win::UINT richTextFormat = 0;
    win::UINT richEditTextAndObjects = 0;
};
// Registers the five formats once per process, in a fixed order.
void RegisterObjectClipboardFormats();
const ObjectClipboardFormats &ObjectFormats();

// Throws EOleSysError for a failed result: the system's text for it, or
// "OLE error %.8x" when there is none.
void OleCheck(win::HRESULT result);

// A new in-memory storage for an object.
std::shared_ptr<win::IStorage> CreateObjectStorage();

// Shows the object as its icon (iconPicture, or its class's icon) or as its
// content, updating its cache and view; aspect holds the old aspect and
// receives the new one.
void SetDisplayAspect(const std::shared_ptr<win::IOleObject> &object, bool asIcon,
                      win::HGLOBAL iconPicture, win::DWORD &aspect);

// The object dialogs' hook: on WM_INITDIALOG it centres the dialog
// horizontally with a third of the remaining screen height above it.
win::UINT CenterDialogHook(win::HWND window, win::UINT message, win::WPARAM wParam,
                           win::LPARAM lParam);

} // namespace veskel
