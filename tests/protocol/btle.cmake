# Bluetooth LE transport through its fake radio, alone and under a master facade.
orvik_add_test(NAME btle_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/btle_test.cpp ${CMAKE_CURRENT_LIST_DIR}/btle_fakes.h
    LIBS orvik_protocol orvik_protocol_fakes)
orvik_add_test(NAME btle_facade_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/btle_facade_test.cpp ${CMAKE_CURRENT_LIST_DIR}/btle_fakes.h
    LIBS orvik_protocol orvik_protocol_fakes
    TIMEOUT 120)
