/* Machine-dependent JNI types for the 32-bit Windows build. */
#ifndef ORVISTAL_JNI_MD_H
#define ORVISTAL_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
