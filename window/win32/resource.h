#pragma once

#define IDI_VELLORA 1
#define IDI_SPEAKER 101
#define IDI_PAUSE_WHITE 102
#define IDI_PAUSE_RED 103
#define IDD_INPUTBOX 200
#define IDC_PROMPT 201
#define IDC_ANSWER 202
