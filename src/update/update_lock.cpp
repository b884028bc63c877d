#include "update/update_lock.h"

bool isUpdateInstallInProgress()
{
    return false;
}
