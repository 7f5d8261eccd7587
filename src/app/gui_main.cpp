// The GUI entry: everything is in Ui_RunApplication (ui/appmain.h).
#include "ui/appmain.h"

int main(int argc, char** argv) { return Ui_RunApplication(argc, argv); }
