#pragma once
// Resources of the setup dialog's native view, for the resource script and
// the code alike.
#define ORBISK_IMPORT_PREVIEW 100
#define ORBISK_IMPORT_SUMMARY 101
#define ORBISK_IMPORT_NAME_LABEL 102
#define ORBISK_IMPORT_NAME 103
#define ORBISK_IMPORT_KEYS 104
