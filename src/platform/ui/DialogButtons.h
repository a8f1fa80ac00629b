#pragma once
// The "OK" and "Cancel" row of the small dialogs: buttons named OKBtn and
// CancelBtn, OK the default, wired to accept and reject.
class QDialog;
class QDialogButtonBox;

QDialogButtonBox* OkCancelButtons(QDialog* dialog);
