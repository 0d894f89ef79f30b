// Resource IDs shared by the resource script and the code that loads them.
#pragma once

#define TPG_IDI_APPLICATION 1
