#pragma once

// The preference module: the preference machine store and the preference service.
class PrefAssembly
{
public:
    PrefAssembly();
    ~PrefAssembly();
};
