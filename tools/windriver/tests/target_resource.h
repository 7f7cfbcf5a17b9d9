// Control ids of the practice dialog that the driver's own tests drive.
#define IDD_TARGET 100
#define IDC_GREETING 101
#define IDC_DIRECTORY 102
#define IDC_SHOW 103
#define IDC_ANSWER 104
#define IDC_CHECK 105
#define IDC_DISABLED 106
#define IDC_LIST 107
#define IDC_QUIT 108
#define IDC_HANG 109
#define IDC_OPEN 110
#define IDC_NOTE 111
#define IDC_ONCE 112
