#pragma once

void RemoveProtocolFilters();
void RemoveDesktopComponents();
