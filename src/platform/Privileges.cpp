#include "Privileges.h"

#include <unistd.h>

bool runsAsAdministrator()
{
    return geteuid() == 0;
}
