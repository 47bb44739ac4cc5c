# Warnings are errors in our own code; Eigen and GoogleTest come in as system
# headers so their warnings never stop a build.
add_library(valvora_warnings INTERFACE)
target_compile_options(valvora_warnings INTERFACE
  -Wall -Wextra -Wshadow=local -Wno-missing-field-initializers -Werror)
# Never -ffast-math: the models rely on IEEE NaN and infinity behaviour.
