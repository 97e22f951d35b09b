# Session records and the master and slave application layers.
orvik_add_test(NAME session_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/session_test.cpp
    LIBS orvik_protocol orvik_protocol_fakes
    TIMEOUT 60)
orvik_add_test(NAME applayer_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/applayer_codec_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/applayer_layers_test.cpp
    LIBS orvik_protocol orvik_protocol_fakes
    TIMEOUT 120)
