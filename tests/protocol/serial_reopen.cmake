# The real serial port backend opened twice on one pseudo-terminal.
orvik_add_test(NAME serial_reopen_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_reopen_test.cpp
    LIBS orvik_protocol orvik_protocol_fakes util
    TIMEOUT 60)
