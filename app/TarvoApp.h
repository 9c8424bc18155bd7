#pragma once

#include "framework/WinApp.h"

class CTarvoApp : public CWinAppEx
{
public:
    BOOL InitInstance() override;
};
