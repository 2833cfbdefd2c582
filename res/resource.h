// res/resource.h -- resource and control numbers, shared by app.rc and the C++ code.
#pragma once

// The dialog's title and the title of every message box the program shows.
#define APP_CAPTION_TEXT "Quorvel's Base64 Encoder/Decoder 1.0"

#define IDD_MAIN 101
#define IDI_MAIN 102

#define IDC_PLAIN_TEXT 1000
#define IDC_BASE64_TEXT 1001
#define IDC_ENCODE_FILE 1002
#define IDC_DECODE_FILE 1003
#define IDC_ASYNC 1004
#define IDC_PROGRESS 1005
#define IDC_STATUS 1006
#define IDC_CANCEL_JOB 1008
