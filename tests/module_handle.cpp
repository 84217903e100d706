// The SDK's module support reads the module handle that a plug-in's DLL
// entry defines. Windows test programs link the plug-in's code without being
// a DLL, so they define it here. (On Linux the editor carries a weak fallback,
// which PE linking does not offer.)
void* moduleHandle = nullptr;
