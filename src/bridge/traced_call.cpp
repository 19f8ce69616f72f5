#include "bridge/traced_call.h"

#include <cstdio>
#include <string>

#include "bridge/local_ref.h"
#include "bridge/native_frame.h"
#include "bridge/status_names.h"
#include "trace/trace.h"

namespace {

thread_local TracedCall* tracedOnThisThread = nullptr;

// A Java system property, or empty text; any exception it raises is cleared.
std::string systemProperty(JNIEnv* env, jclass system, jmethodID getProperty, const char* name) {
  LocalRef<jstring> key(env, env->NewStringUTF(name));
  if (!key) {
    env->ExceptionClear();
    return std::string();
  }
  LocalRef<jstring> value(env, static_cast<jstring>(env->CallStaticObjectMethod(system, getProperty, key.get())));
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
    return std::string();
  }
  if (!value) return std::string();
  const char* chars = env->GetStringUTFChars(value.get(), nullptr);
  if (chars == nullptr) {
    env->ExceptionClear();
    return std::string();
  }
  std::string text(chars);
  env->ReleaseStringUTFChars(value.get(), chars);
  return text;
}

// The environment first; without ORVISTAL_TRACE there, the JVM's system properties. Not settled
// while the caller has an exception pending (no JNI call may be made then): the next call reads.
void settleTrace(JNIEnv* env) {
  orvistal::trace::Settings settings = orvistal::trace::settingsFromEnvironment();
  if (settings.target.empty() && env != nullptr) {
    if (env->ExceptionCheck()) return;
    LocalRef<jclass> system(env, env->FindClass("java/lang/System"));
    if (!system) {
      env->ExceptionClear();
    } else {
      jmethodID getProperty =
          env->GetStaticMethodID(system.get(), "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
      if (getProperty == nullptr) {
        env->ExceptionClear();
      } else {
        settings.target = systemProperty(env, system.get(), getProperty, "orvistal.trace");
        settings.level = systemProperty(env, system.get(), getProperty, "orvistal.trace.level");
        settings.maxMegabytes = systemProperty(env, system.get(), getProperty, "orvistal.trace.maxMb");
      }
    }
  }
  orvistal::trace::settle(settings);
}

void appendText(std::string* line, JNIEnv* env, jstring text) {
  if (text == nullptr) {
    *line += "null";
    return;
  }
  JavaChars chars(env, text);
  if (chars.get() == nullptr) {
    env->ExceptionClear();
    *line += "?";
    return;
  }
  orvistal::trace::appendQuoted(line, reinterpret_cast<const char16_t*>(chars.get()), chars.length());
}

void appendArgument(std::string* line, JNIEnv* env, const TraceArgument& argument) {
  *line += ' ';
  *line += argument.label;
  *line += '=';
  if (argument.isNumber) {
    *line += std::to_string(argument.number);
  } else if (argument.isArray) {
    // The values themselves may be secrets: only how many.
    *line += argument.array == nullptr ? std::string("null")
                                       : "[" + std::to_string(env->GetArrayLength(argument.array)) + "]";
  } else {
    appendText(line, env, argument.text);
  }
}

void appendWide(std::string* line, const char* label, const WideString& text) {
  *line += ' ';
  *line += label;
  *line += '=';
  orvistal::trace::appendQuoted(line, reinterpret_cast<const char16_t*>(text.data()), text.size());
}

}  // namespace

TracedCall::TracedCall(JNIEnv* env, const char* native, std::initializer_list<TraceArgument> arguments) noexcept
    : env_(env) {
  if (!orvistal::trace::settled()) settleTrace(env);
  if (!orvistal::trace::on(orvistal::trace::kCalls)) return;
  try {
    line_ = "call ";
    line_ += native;
    for (const TraceArgument& argument : arguments) appendArgument(&line_, env, argument);
    on_ = true;
    start_ = std::chrono::steady_clock::now();
    orvistal::trace::takeServer();  // nothing of an earlier call on this thread
    tracedOnThisThread = this;
  } catch (...) {
    // out of memory: this call goes untraced
  }
}

TracedCall::~TracedCall() {
  if (!on_) return;
  tracedOnThisThread = nullptr;
  try {
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_).count();
    std::string server = orvistal::trace::takeServer();
    std::string& line = line_;
    line += " dc=";
    line += server.empty() ? std::string("-") : server;
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, " %.3fms -> ", ms);
    line += elapsed;
    if (statusKnown_) {
      orvistal::trace::appendStatus(&line, status_);
      if (const char* name = statusName(status_)) {
        line += ' ';
        line += name;
      }
    } else {
      line += "null";
    }
    orvistal::trace::writeLine(line);
  } catch (...) {
    // out of memory: the line is lost, the call is not
  }
}

jint TracedCall::returns(jint status) noexcept {
  status_ = status;
  statusKnown_ = true;
  return status;
}

jobject TracedCall::returns(jobject result) noexcept {
  if (!on_ || result == nullptr || env_->ExceptionCheck()) return result;
  LocalRef<jclass> type(env_, env_->GetObjectClass(result));
  jmethodID errCode = type ? env_->GetMethodID(type.get(), "getErrCode", "()I") : nullptr;
  if (errCode == nullptr) {
    env_->ExceptionClear();
    return result;
  }
  jint status = env_->CallIntMethod(result, errCode);
  if (env_->ExceptionCheck()) {
    env_->ExceptionClear();
    return result;
  }
  return returns(status), result;
}

TracedCall* TracedCall::current() noexcept { return tracedOnThisThread; }

void TracedCall::noteSettings(const ConnectionSettings& settings) noexcept {
  try {
    // The account's name and the server, never its password.
    appendWide(&line_, "as", settings.lookupUserName);
    appendWide(&line_, settings.serverIsDomain ? "domain" : "server", settings.serverName);
  } catch (...) {
  }
}
