// The flat ADSI helper functions.
#pragma once
#include "iads.h"

HRESULT ADsOpenObject(LPCWSTR lpszPathName, LPCWSTR lpszUserName, LPCWSTR lpszPassword, DWORD dwReserved, REFIID riid,
                      void** ppObject);
HRESULT ADsBuildVarArrayStr(LPWSTR* lppPathNames, DWORD dwPathNames, VARIANT* pVar);
HRESULT ADsBuildEnumerator(IADsContainer* pADsContainer, IEnumVARIANT** ppEnumVariant);
HRESULT ADsEnumerateNext(IEnumVARIANT* pEnumVariant, ULONG cElements, VARIANT* pvar, ULONG* pcElementsFetched);
HRESULT ADsFreeEnumerator(IEnumVARIANT* pEnumVariant);
HRESULT ADsGetLastError(LPDWORD lpError, LPWSTR lpErrorBuf, DWORD dwErrorBufLen, LPWSTR lpNameBuf, DWORD dwNameBufLen);
void ADsSetLastError(DWORD dwErr, LPCWSTR pszError, LPCWSTR pszProvider);
LPVOID AllocADsMem(DWORD cb);
BOOL FreeADsMem(LPVOID pMem);
