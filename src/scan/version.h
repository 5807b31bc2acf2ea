// The program's version, shown as "Grevlin 6.05" and carried as 6.5.0.0.
#pragma once

#define GREVLIN_VERSION_MAJOR 6
#define GREVLIN_VERSION_MINOR 5
#define GREVLIN_VERSION_REVISION 0
#define GREVLIN_TITLE "Grevlin 6.05"
#define GREVLIN_COMPANY "Grevlin Team"
#define GREVLIN_DESCRIPTION "Grevlin CWS removal tool"
#define GREVLIN_PRODUCT "Grevlin"
#define GREVLIN_VERSION_TEXT "6.05"
#define GREVLIN_COPYRIGHT "Copyright (C) 2006 Grevlin Team"
