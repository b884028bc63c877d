#pragma once

// True while a fresh update lock shows an installer at work.
bool isUpdateInstallInProgress();
