#pragma once

class CExtraSetupDialog;
class DiaryEngine;
class Prompts;

// The one place where each job after a picture adds its tab to the extra
// settings dialog.
void AddExtraSetupPages(CExtraSetupDialog& dialog, DiaryEngine& engine, Prompts& prompts);
