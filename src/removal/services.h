#pragma once

#include <string>

void StopHijackerServices();
void StopServiceByName(const std::wstring& serviceName);
void RemoveFixedKeys();
