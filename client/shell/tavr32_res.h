/* Resource ids of the desktop client TAVR32.
 *
 * Plain #defines only, so that both the resource compiler and the C++ code
 * include this header.  Naming scheme:
 *   RES_...   resource names (string macros): menus, accelerators, icons,
 *             cursors and bitmaps, all made of the stem "Tavr" + a suffix
 *   IDM_...   menu and accelerator commands (each is also a string id of
 *             the command's status-bar description)
 *   IDD_...   dialog templates
 *   IDC_...   controls of the templates (IDC_<DIALOG>_<WHAT> where an id is
 *             local to one template, IDC_<WHAT> where it is shared)
 *   IDS_...   strings of the string table
 *   TOOL_...  child ids of the tool-bar buttons
 *   IDL_...   child ids of the three message list boxes (= pane ids)
 */
#ifndef TAVR32_RES_H
#define TAVR32_RES_H

/* ---- Resource names -------------------------------------------------- */
#define RES_STEM            "Tavr"
#define RES_MENU_MAIN       "TAVR"
#define RES_MENU_VIEW       "TAVRINE"
#define RES_MENU_VIEWER     "TAVRINEVIEWER"
#define RES_ACCEL           "TAVR"

#define RES_ICON_PROGRAM    "Tavr"
#define RES_ICON_ABOUT      "Tv"
#define RES_ICON_IN         "TavrIn"
#define RES_ICON_OUT        "TavrOut"
#define RES_ICON_FILED      "TavrFiled"

#define RES_CURSOR_DOCUMENT "TavrDocument"
#define RES_CURSOR_HELP     "TavrHelp"

#define RES_BMP_PICTURE     "TavrPicture"
#define RES_BMP_LOGO        "TavrLogo"

/* The 13 status bitmaps (32 x 14). */
#define RES_BMP_WAITING     "TavrWaiting"
#define RES_BMP_CONVERT     "TavrConvert"
#define RES_BMP_CONNECT     "TavrConnect"
#define RES_BMP_SENDING     "TavrSending"
#define RES_BMP_NEWDOC      "TavrNewDoc"
#define RES_BMP_DOCUMENT    "TavrDocument"
#define RES_BMP_NEWSCAN     "TavrNewScan"
#define RES_BMP_HELD        "TavrHeld"
#define RES_BMP_OK          "TavrOK"
#define RES_BMP_FAILED      "TavrFailed"
#define RES_BMP_RECEIVING   "TavrReceiving"
#define RES_BMP_SCAN        "TavrScan"
#define RES_BMP_ABORTING    "TavrAborting"
#define STATUS_BITMAP_COUNT  13
#define STATUS_BITMAP_WIDTH  32
#define STATUS_BITMAP_HEIGHT 14

/* Tool bitmaps: stem + base + "Hi" (48 x 24) or "Lo" (32 x 16), and the
 * same name + "Grey" for a greyed button (not for View and Help). */
#define TOOL_BMP_HI         "Hi"
#define TOOL_BMP_LO         "Lo"
#define TOOL_BMP_GREY       "Grey"
#define TOOL_BMP_HI_WIDTH   48
#define TOOL_BMP_HI_HEIGHT  24
#define TOOL_BMP_LO_WIDTH   32
#define TOOL_BMP_LO_HEIGHT  16
#define TOOL_BASE_SEND        "Send"
#define TOOL_BASE_FORWARD     "Forward"
#define TOOL_BASE_VIEW        "View"
#define TOOL_BASE_PRINTER     "Printer"
#define TOOL_BASE_ACQUIRE     "Acquire"
#define TOOL_BASE_INFORMATION "Information"
#define TOOL_BASE_SAVE        "Save"
#define TOOL_BASE_DELETE      "Delete"
#define TOOL_BASE_STATUS      "Status"
#define TOOL_BASE_TIDYUP      "Tidyup"
#define TOOL_BASE_HELP        "Help"
#define TOOL_BASE_QUITVIEW    "QuitView"
#define TOOL_BASE_ONETOONE    "OneToOne"
#define TOOL_BASE_TWOTOONE    "TwoToOne"
#define TOOL_BASE_THREETOONE  "ThreeToOne"
#define TOOL_BASE_OVERVIEW    "Overview"
#define TOOL_BASE_ROTATE      "Rotate"
#define TOOL_BASE_IMPORT      "Import"
#define TOOL_BASE_EXPORT      "Export"

/* ---- Tool-bar buttons (child ids of the "Button bar") ---------------- */
#define TOOL_QUITVIEW       100
#define TOOL_PRINT          101
#define TOOL_IMPORT         102
#define TOOL_EXPORT         103
#define TOOL_ROTATE         104
#define TOOL_ONETOONE       105
#define TOOL_TWOTOONE       106
#define TOOL_THREETOONE     107
#define TOOL_OVERVIEW       108
#define TOOL_HELP           109
#define TOOL_SEND           110
#define TOOL_FORWARD        111
#define TOOL_INFO           112
#define TOOL_SAVE           113
#define TOOL_TIDYUP         114
#define TOOL_DELETE         115
#define TOOL_VIEW           116
#define TOOL_STATUS         117
#define TOOL_ACQUIRE        118

/* ---- Message list boxes (child ids = pane ids) ----------------------- */
#define IDL_NEW             1120
#define IDL_WAITING         1121
#define IDL_FILED           1122

/* ---- Main menu commands (TAVR) --------------------------------------- */
#define IDM_NEWMESSAGE      1100
#define IDM_SEND            1101
#define IDM_ACQUIRE         1102
#define IDM_INFORMATION     1103
#define IDM_VIEW            1104
#define IDM_PRINT           1105
#define IDM_DELETE          1106
#define IDM_MOVESAVE        1107
#define IDM_HOLD            1108
#define IDM_PRINTSETUP      1109
#define IDM_SEARCH          1110
#define IDM_NEWENTRY        1111
#define IDM_NEWGROUP        1112
#define IDM_RUSH            1115
#define IDM_RELEASE         1116
#define IDM_SELECTSOURCE    1117
#define IDM_SENDMAIL        1118
#define IDM_IN              1120
#define IDM_OUT             1121
#define IDM_FILED           1122
#define IDM_TIDYUP          1123
#define IDM_LOGS            1130
#define IDM_SERVER          1132
#define IDM_CHANGEDIR       1133
#define IDM_REFRESH         1135
#define IDM_STATUSBAR       1136
#define IDM_BUTTONSICONS    1137
#define IDM_BUTTONSTEXT     1138
#define IDM_DEVICES         1140
#define IDM_MESSAGEOPTIONS  1141
#define IDM_EXIT            1142
#define IDM_HELPINDEX       1150
#define IDM_USINGHELP       1151
#define IDM_VIEWERHELP      1152
#define IDM_ABOUT           1190
#define IDM_NAME            1200
#define IDM_RECONNECT       1210
#define IDM_ALERTS          1220
#define IDM_FORWARD         1221
/* Command of the pane window after a list's selection changed. */
#define IDM_PANESELCHANGE   515

/* ---- Viewer menu commands (TAVRINE, TAVRINEVIEWER) ------------------- */
#define IDM_V_FIRST         1300
#define IDM_V_LAST          1315
#define IDM_V_NEXTPAGE      1300
#define IDM_V_PREVPAGE      1301
#define IDM_V_ONETOONE      1302
#define IDM_V_TWOTOONE      1303
#define IDM_V_THREETOONE    1304
#define IDM_V_OVERVIEW      1305
#define IDM_V_ROTATE        1306
#define IDM_V_QUITVIEW      1307
#define IDM_V_FIRSTPAGE     1308
#define IDM_V_LASTPAGE      1309
#define IDM_V_GOTOPAGE      1310
#define IDM_V_EXPORT        1311
#define IDM_V_IMPORT        1312
#define IDM_V_SENDERNAME    1313
#define IDM_V_OCR           1314
#define IDM_V_DECODE        1315

/* ---- Dialog templates ------------------------------------------------ */
#define IDD_SENDFILE        501
#define IDD_EXPORT          502
#define IDD_ADDRESSING      503
#define IDD_ADDRESSBOOK     504
#define IDD_SENDING         505
#define IDD_MESSAGEOPTIONS  506
#define IDD_COVERSHEET      507
#define IDD_LETTERHEAD      508
#define IDD_PRIORITY        509
#define IDD_TIME            510
#define IDD_PAGEHEADER      512
#define IDD_EDITOR          513
#define IDD_ABOUT           516
#define IDD_ROUTING         517
#define IDD_SCAN            518
#define IDD_QUEUE           519
#define IDD_DEVICES         520
#define IDD_INFOBOX         522
#define IDD_SCANNERREADY    523
#define IDD_CHANGEDIR       524
#define IDD_RESOLUTION      526
#define IDD_IMPORT          528
#define IDD_VIEWFILE        529
#define IDD_HISTORY         530
#define IDD_SERVERLOG       532
#define IDD_LOGLIST         533
#define IDD_LOGDETAIL       534
#define IDD_WELCOME         538
#define IDD_PRINTPROGRESS   539
#define IDD_ALERTS_PLAIN    540
#define IDD_FORWARD         541
#define IDD_LOGIN           543
#define IDD_PRINTHOOK       547
#define IDD_MESSAGEINFO     548
#define IDD_SENDER          549
#define IDD_NAME            550
#define IDD_ALERTS          551
#define IDD_SAVEAS          553
#define IDD_DUPLICATES      554
#define IDD_TIDY            557
#define IDD_SEARCH          565

/* ---- Controls shared by many templates ------------------------------- */
#define IDC_HELPBUTTON            256
#define IDC_RESET           257
#define IDC_TEXT            259

/* 506 Message options */
#define IDC_OPT_COVERSHEET      1281
#define IDC_OPT_COVERSHEETTEXT  1282
#define IDC_OPT_LETTERHEAD      1283
#define IDC_OPT_LETTERHEADTEXT  1284
#define IDC_OPT_PRIORITY        1285
#define IDC_OPT_PRIORITYTEXT    1286
#define IDC_OPT_TIME            1287
#define IDC_OPT_TIMETEXT        1288
#define IDC_OPT_HEADER          1291
#define IDC_OPT_HEADERTEXT      1292
#define IDC_OPT_RESOLUTION      1293
#define IDC_OPT_RESOLUTIONTEXT  1294
#define IDC_OPT_KEEPREPORTS     1303
#define IDC_OPT_MAILBOOK        1304

/* 509 Priority */
#define IDC_PRI_NORMAL          2048
#define IDC_PRI_URGENT          2049
#define IDC_PRI_BACKGROUND      3843

/* 526 Resolution */
#define IDC_RES_DRAFT           2051
#define IDC_RES_NORMAL          2052
#define IDC_RES_HIGH            2053

/* 510 Time to send (text 259 is the day) */
#define IDC_TIME_HOUR           2304
#define IDC_TIME_MINUTE         2305
#define IDC_TIME_SCROLL         2306
#define IDC_TIME_IMMEDIATELY    2307
#define IDC_TIME_OFFPEAK        2308
#define IDC_TIME_AT             2309

/* 512 Page header */
#define IDC_HDR_NUMBERED        2816
#define IDC_HDR_TO              2817
#define IDC_HDR_FROM            2818
#define IDC_HDR_DATE            2819
#define IDC_HDR_TIME            2820

/* 551 / 540 Alerts */
#define IDC_ALERT_RECEIVED      5888
#define IDC_ALERT_SENT          5889
#define IDC_ALERT_PREVIEW       5890
#define IDC_ALERT_FAILED        5891
#define IDC_ALERT_GROUP         5892

/* 520 Default devices */
#define IDC_DEV_INVERTTWAIN     4103
#define IDC_DEV_SHOWTWAIN       4104
#define IDC_DEV_SCANNER         4352
#define IDC_DEV_PRINTER         4353
#define IDC_DEV_SPOOLTO         4354
#define IDC_DEV_REDIRECTTO      4355
#define IDC_DEV_REDIRECTLABEL   4357

/* 550 Coversheet details */
#define IDC_NAME_USER           1280
#define IDC_NAME_FULLNAME       8705
#define IDC_NAME_TELEPHONE      8711
#define IDC_NAME_FAX            8712
#define IDC_NAME_EMAIL          8713
#define IDC_NAME_OTHER          8714

/* 543 Login */
#define IDC_LOGIN_USERNAME      3097

/* 516 About, 538 Welcome */
#define IDC_ABOUT_VERSION       5633
#define IDC_ABOUT_PLATFORM      5635
#define IDC_WELCOME_PICTURE     5636
#define IDC_WELCOME_LOGO        5637

/* 554 Address book entries */
#define IDC_DUP_LIST            515
#define IDC_DUP_OK              3098
#define IDC_DUP_SEARCH          8707

/* 524 Change directory (the file dialog's own ids, plus one check box) */
#define IDC_CD_DIRTEXT          1088
#define IDC_CD_FILENAMELABEL    1089
#define IDC_CD_MATCHLABEL       1090
#define IDC_CD_DRIVESLABEL      1091
#define IDC_CD_FILENAME         1152
#define IDC_CD_FILES            1120
#define IDC_CD_DIRS             1121
#define IDC_CD_TYPES            1136
#define IDC_CD_DRIVES           1137
#define IDC_CD_READONLY         1040
#define IDC_CD_HELP             1038
#define IDC_CD_REPORTSONLY      2562

/* 539 Print progress */
#define IDC_PRINT_LINE1         6400
#define IDC_PRINT_LINE2         6401

/* 523 Scanner ready (text 259 is the message) */
#define IDC_SCANREADY_TEXT      4608

/* ---- Strings --------------------------------------------------------- */
#define IDS_STEM                20
#define IDS_TITLE               21
#define IDS_ERROR               22
#define IDS_UNTITLED            23
#define IDS_PANE_IN             24
#define IDS_PANE_OUT            25
#define IDS_PANE_FILED          26
#define IDS_OFFLINE_TITLE       27
#define IDS_DIR_IN              30
#define IDS_DIR_OUT             31
#define IDS_DIR_GRAPH           32
#define IDS_DIR_DB              33
#define IDS_VIEWER_TITLE        36
#define IDS_NO_FILENAME         40
#define IDS_CANNOT_FIND_FILE    41
#define IDS_CANNOT_ACCESS_FILE  42
#define IDS_CANNOT_READ_FILE    43
#define IDS_CANNOT_WRITE_FILE   44
#define IDS_CANNOT_CREATE_FILE  45
#define IDS_OVERWRITE_FILE      46
#define IDS_BAD_INFO_FILE       47
#define IDS_FILE_DIRINFO        51
#define IDS_FILE_LOG            52
#define IDS_FILE_USERINI        53
#define IDS_FILE_LOCK           54
#define IDS_FILE_MSGDIR         55
#define IDS_NOT_TIFF            56
#define IDS_FILE_USERLOCK       57
#define IDS_CANNOT_CHECK_NEW    58
#define IDS_FILE_SETUPINI       59
#define IDS_FILE_HELP           60
#define IDS_CANNOT_FIND         61
#define IDS_NO_SPOOLER          62
#define IDS_PRI_URGENT          78
#define IDS_PRI_NORMAL          79
#define IDS_PRI_BACKGROUND      80
#define IDS_TIME_IMMEDIATELY    81
#define IDS_NONE                90
#define IDS_HDR_NO              91
#define IDS_HDR_TO              92
#define IDS_HDR_FR              93
#define IDS_HDR_DT              94
#define IDS_HDR_TI              95
#define IDS_ALERT_RECEIVED      96
#define IDS_ALERT_RECEIVED_ERR  97
#define IDS_READY_TO_SCAN       98
#define IDS_SERVER_PROBLEM      99
/* Status words: 100 "Status?", then 101-116 by MessageStatusNumber. */
#define IDS_STATUS_UNKNOWN      100
#define IDS_STATUS_FIRST        100
#define IDS_STATUS_LAST         120
#define IDS_STATUS_SENT         117
#define IDS_STATUS_SCANNED      118
#define IDS_STATUS_TRIED        119
#define IDS_STATUS_RECEIVED     120
#define IDS_NO_HELP             148
#define IDS_QUAL_DRAFT          190
#define IDS_QUAL_NORMAL         191
#define IDS_QUAL_HIGH           192
#define IDS_ALREADY_LOGGED_ON   223
#define IDS_FILE_USERLIST       226
#define IDS_INVALID_INI         227
#define IDS_NO_INI              232
#define IDS_NO_USERNAME         233
#define IDS_SEARCHING           245
#define IDS_TODAY               253
#define IDS_DAYS                254
#define IDS_OFFPEAK             255
#define IDS_VERSION             267
#define IDS_NO_ACCOUNT          270
#define IDS_SET_USERNAME        271
#define IDS_PLATFORM            274
#define IDS_PRN_NOT_TAVRINE     280
#define IDS_PRN_CANNOT_INIT     281
#define IDS_PRN_UNABLE          282
#define IDS_PRN_ON              283
#define IDS_PRN_NAME            284
#define IDS_PRN_SELECTED        285
#define IDS_PRN_PRINTING        286
#define IDS_PRN_PRINTING_PAGE   287
#define IDS_PRN_DONE            288
#define IDS_PRN_CANCELLED       289
#define IDS_ALERT_SENT          290
#define IDS_ALERT_PREVIEW       291
#define IDS_ALERT_SENT_ALL      292
#define IDS_ALERT_FAILED        293
#define IDS_STATE_INITIALISING  310
#define IDS_STATE_DDEACTIVE     311
#define IDS_STATE_NODDE         312
#define IDS_SPOOL_ADDRESSING    313
#define IDS_SPOOL_CANCELLING    314
#define IDS_SPOOL_SUBMITTING    315
#define IDS_SPOOL_SPOOLING      316
#define IDS_SPOOL_SPOOLED       317
#define IDS_MSG_READY           318
#define IDS_MSG_SELECTED        319
#define IDS_MSG_OFFLINE         320
/* Tool-button texts. */
#define IDS_TOOL_QUITVIEW       350
#define IDS_TOOL_PRINT          351
#define IDS_TOOL_IMPORT         352
#define IDS_TOOL_EXPORT         353
#define IDS_TOOL_ROTATE         354
#define IDS_TOOL_ONETOONE       355
#define IDS_TOOL_TWOTOONE       356
#define IDS_TOOL_THREETOONE     357
#define IDS_TOOL_OVERVIEW       358
#define IDS_TOOL_HELP           359
#define IDS_TOOL_SEND           360
#define IDS_TOOL_FORWARD        361
#define IDS_TOOL_INFO           362
#define IDS_TOOL_SAVE           363
#define IDS_TOOL_TIDYUP         364
#define IDS_TOOL_DELETE         365
#define IDS_TOOL_VIEW           366
#define IDS_TOOL_STATUS         367
#define IDS_TOOL_ACQUIRE        368
#define IDS_PREVIEW_NOT_READY   384
#define IDS_PREVIEW_MISSING     385
#define IDS_WAITING_REPLY       402
#define IDS_COPYING             403
#define IDS_START_SERVER        404
#define IDS_USE_SECONDARY       405
#define IDS_CANNOT_CONVERT      424
#define IDS_ONLY_ADDRESSBOOK    443
#define IDS_NEED_GROUPADMIN     444
#define IDS_FILTER_CHANGEDIR    461
#define IDS_FILTER_SENDFILE     462
#define IDS_FILTER_GRAPHICS     463
#define IDS_FILTER_FAX          464
#define IDS_GROUP_UNREAD        480
#define IDS_GROUP_RECEIVED      481
#define IDS_FILE_MSGCHG         490
#define IDS_FILE_MSGNEW         491
#define IDS_FILE_ADBLST         492
/* File-dialog filters: "text|pattern|format" each. */
#define IDS_FILTER_FULL_IMPORT  2100
#define IDS_FILTER_FULL_EXPORT  2140
#define IDS_FILTER_SHORT_EXPORT 2160
#define IDS_FILTER_SHORT_IMPORT 2180
#define IDS_BAD_SWITCH          2300
#define IDS_CHECKING_SERVER     2303
#define IDS_RESULT_F027         61479
#define IDS_RESULT_F037         61495
#define IDS_DDE_ERROR           63499

#endif /* TAVR32_RES_H */
