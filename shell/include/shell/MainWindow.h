// The window of the service: a view of the main object. Child widgets carry
// the component names (PageControl1, TabSheet1, TabSheet2, Label1, Memo1,
// mmOrdemTecel, Button1) as their object names.
#pragma once
#include <memory>

class QWidget;
class TfmDEZORiv;

namespace shell {

// Client area of the window, in pixels.
inline constexpr int WindowClientWidth = 878;
inline constexpr int WindowClientHeight = 446;

// Builds the window for the form (needs a QApplication): title, the two
// tabs with the second one shown, read-only panes that follow the form's
// panes, the hidden Button1, centred on the screen. Also routes the form's
// message box to a modal QMessageBox. The window must not outlive the form.
std::unique_ptr<QWidget> CreateMainWindow(TfmDEZORiv& form);

}  // namespace shell
