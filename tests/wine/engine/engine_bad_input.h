// Cases of the engine test that feed the extraction run bad input.
#pragma once
#include <windows.h>

void CaseFolderTexts(HWND dialog);
void CaseRejectedCharacters(HWND dialog);
void CaseReplayCorpus(HWND dialog);
