#pragma once

// Makes sure the machine has a device id; false only when the store yields none.
bool ensureDeviceId();
