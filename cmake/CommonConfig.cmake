# Flags shared by every target of the project, on one INTERFACE target.
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_20)
target_compile_options(project_options INTERFACE -Wall -Wextra -Wpedantic -Werror -Winvalid-pch)

# Precompiled Qt headers, built once and shared: one by the widget libraries
# (owned by panel_views), one by the widget tests (owned by tst_mainwindow).
# Targets that share one are compiled alike; -Winvalid-pch turns a header the
# compiler could not use into a build error instead of a silent slow-down.
set(PANEL_WIDGET_HEADERS <QApplication> <QWidget> <QPainter> <QImage> <QString> <QStringList>
    <QList> <QTimer> <QEvent> <algorithm> <array> <functional> <memory> <vector>)
target_compile_definitions(project_options INTERFACE MATRIXPANEL_VERSION="${PROJECT_VERSION}")

set(PANEL_SANITIZE "" CACHE STRING
    "Sanitizers to build with: empty, 'address' (ASan+UBSan), 'thread' or 'fuzzer' (clang: libFuzzer + ASan+UBSan)")
if(PANEL_SANITIZE STREQUAL "address")
  target_compile_options(project_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
elseif(PANEL_SANITIZE STREQUAL "fuzzer")
  target_compile_options(project_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                   -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
elseif(PANEL_SANITIZE STREQUAL "thread")
  target_compile_options(project_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(project_options INTERFACE -fsanitize=thread)
endif()

# Hardening as the distribution builds its packages: stack protector, full
# RELRO and, where the code is optimised and no sanitizer runs, fortified
# library calls.
if(NOT PANEL_SANITIZE)
  target_compile_options(project_options INTERFACE -fstack-protector-strong
                         $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  target_link_options(project_options INTERFACE -Wl,-z,relro,-z,now)
endif()
