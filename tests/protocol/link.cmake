# Serial port, link layer and facade of the VELTRIX stack.
orvik_add_test(NAME serialport_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/serialport_test.cpp
    LIBS orvik_protocol orvik_protocol_fakes util)
orvik_add_test(NAME link_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_test.cpp
    LIBS orvik_protocol orvik_protocol_fakes)
orvik_add_test(NAME facade_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/facade_test.cpp
    LIBS orvik_protocol orvik_protocol_fakes util
    TIMEOUT 120)
