#pragma once

#include "ui/Export.h"

class QDialog;
class QPushButton;
class QWidget;

// The shared frame of the small choice dialogs: a caption, one field, and the two buttons
// centred below; styled, draggable, and "Cancel" rejects.
PARLEWICK_UI_EXPORT void layOutChoiceDialog(QDialog *dialog, QWidget *caption, QWidget *field, QPushButton *ok,
                                            QPushButton *close);
