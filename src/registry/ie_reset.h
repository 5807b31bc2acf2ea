#pragma once

void ResetIeSettings();
