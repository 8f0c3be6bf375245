#include "replace/file_system.h"

#include <random>

std::string RandomSuffix() {
  static constexpr char kNameChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<int> pick(0, sizeof kNameChars - 2);
  std::string suffix;
  for (int i = 0; i < 6; ++i) suffix += kNameChars[pick(random)];
  return suffix;
}
