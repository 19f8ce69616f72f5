// The exported name of a native method of kestrivane.qom.userstoreproxy.multidomain.Orvistal.
#pragma once
#include <jni.h>

#define ORVISTAL_NATIVE(method) Java_kestrivane_qom_userstoreproxy_multidomain_Orvistal_##method
