#pragma once

class QFileDialog;

namespace frame {

// The Open and New dialogs show their files in detail: widens the Name, Size, Type and Date
// Modified columns to their titles and to the longest size and date the dialog may show, and the
// dialog to hold them beside its side bar (within the screen), so that nothing is cut off when it
// opens.
void fitArchiveFileDialog(QFileDialog& dialog);

} // namespace frame
