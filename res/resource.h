/*
 * Resource ids of the Orvane micro client.
 * Plain preprocessor definitions: included by the C++ sources and by Orvane.rc.
 */
#ifndef ORVANE_RES_RESOURCE_H
#define ORVANE_RES_RESOURCE_H

/* Dialog templates */
#define IDD_VXTRANSLUCENT_DIALOG 102 /* launcher background window */
#define IDD_VXSTANDARD_DIALOG    103 /* launcher companion dialog (also its control init data) */
#define IDD_VXGAME_DIALOG        150 /* game window */

/* HTML page shown by the game window until the game address loads */
#define IDR_HTML_GAME            106

/* Application icon (the executable's only icon group) */
#define IDR_MAINFRAME            155

/* Images, stored as resources of type "PNG" */
#define IDB_CLOSE_HOT            137
#define IDB_CLOSE                138
#define IDB_SKIN                 158
#define IDB_MIN                  159
#define IDB_MIN_HOT              160
/* The same images drawn at twice the resolution, for high-DPI screens */
#define IDB_SKIN_2X              161
#define IDB_CLOSE_HOT_2X         162
#define IDB_CLOSE_2X             163
#define IDB_MIN_2X               164
#define IDB_MIN_HOT_2X           165

/* Controls of the launcher companion dialog */
#define IDC_BTN_SITE             104 /* hidden button, text "official site" */
#define IDC_BTN_HIDDEN           105 /* hidden button */
#define IDC_BTN_CLOSE            1004
#define IDC_BROWSER              1005
#define IDC_BTN_MINIMIZE         1012

/* Diagnosis window (Orvane.exe /diagnose) and its controls */
#define IDD_DIAGNOSE             170
#define IDC_DIAG_REPORT          1101 /* read-only multi-line edit with the report */
#define IDC_DIAG_COPY            1102 /* "复制" */

/* Resource type of the controls' initial data (RT_DLGINIT); id = dialog id */
#define RESTYPE_DLGINIT          240

#endif /* ORVANE_RES_RESOURCE_H */
