// Resource ids of camflash. The resource compiler reads this file too: #defines only.
#ifndef CAMFLASH_RESOURCE_H
#define CAMFLASH_RESOURCE_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// String table
#define IDS_DEVICE_NOT_FOUND 1
#define IDS_UPDATE_FAILED 2
#define IDS_UPDATE_FINISHED 5

// Main dialog
#define IDD_CAMFLASH_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_UPDATE 1000
#define IDC_STATUS 1001

// DRAM Setting dialog
#define IDD_DRAM_SETTING 160
#define IDC_DRAM_FILE 1429
#define IDC_DRAM_BROWSE 1430

#endif
