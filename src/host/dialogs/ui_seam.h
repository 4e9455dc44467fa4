// Shared by the dialog modules: how a dialog is run (modally, or handed to
// the test hook).
#pragma once

class QDialog;

// Returns 1 when the dialog ended with OK.
int ui_run_dialog(QDialog& dialog);
