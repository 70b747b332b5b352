#include "platform/user.h"

namespace morsela {

namespace {

User* g_user = nullptr;

}  // namespace

User& TheUser() { return g_user ? *g_user : NativeUser(); }

User* SetUser(User* user) {
  User* previous = g_user ? g_user : &NativeUser();
  g_user = user;
  return previous;
}

}  // namespace morsela
