// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDR_REGISTRATION_SCRIPT 101
