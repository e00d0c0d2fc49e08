#include "common/KeyFilters.h"

namespace KeyFilters {

int digitsOnly(int keyCode)
{
    if ((keyCode >= '0' && keyCode <= '9') || keyCode == 8 || keyCode == 13)
        return keyCode;
    return Suppressed;
}

int upperCaseKey(int keyCode)
{
    if (keyCode == 39)
        return Suppressed;
    if (keyCode >= 'a' && keyCode <= 'z')
        return keyCode - 32;
    return keyCode;
}

} // namespace KeyFilters
