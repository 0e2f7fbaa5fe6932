// Identifiers of the installer's resources shared between .rc files and code.
#pragma once

#define IDI_TARNEX 101
