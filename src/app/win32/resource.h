/* Resource ids of the Windows program, shared by the resource script and the C++ code. */
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_ABOUTBOX 100
#define IDD_MAIN 102
#define IDI_APPLICATION_LARGE 128
#define IDI_APPLICATION_SMALL 129

/* Controls of the main dialog (IDOK is "&Execute", IDCANCEL is "&Quit"). */
#define IDC_ABOUT 3
#define IDC_FILE 1001
#define IDC_REF 1003
#define IDC_AUTO_NUM 1004
#define IDC_INITIAL_SPIN 1005
#define IDC_INITIAL 1006
#define IDC_STEP_SPIN 1007
#define IDC_STEP 1008
