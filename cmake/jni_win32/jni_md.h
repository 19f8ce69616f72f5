/* Machine-dependent JNI types for the Windows builds (long is 32 bits on both; x64 ignores
   the stdcall convention and has one of its own). */
#ifndef ORVISTAL_JNI_MD_H
#define ORVISTAL_JNI_MD_H

/* The export table comes from the module definition file alone, which gives each native
   the decorated name _Name@N that the JVM looks up; a dllexport would add a second name. */
#define JNIEXPORT
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
