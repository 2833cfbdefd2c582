// text/text.h -- live conversion between the two text boxes. UI thread only.
#pragma once

// The user changed the plain text box: its whole text is encoded into the Base64 box.
void OnPlainTextChanged(void);
// The user changed the Base64 box: its whole text is decoded into the plain text box,
// which is emptied while the text does not decode.
void OnBase64TextChanged(void);

// Lifts both boxes' text limit, so a paste longer than the edit control's default is
// converted whole. Called once from WM_INITDIALOG, after `AppState.dialog` is set.
void InitTextBoxes(void);
