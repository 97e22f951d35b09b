# The shipped Orvik description and the strictness of the two schema files.
orvik_add_test(NAME embedded_description_test
    SOURCES embedded_description_test.cpp description_schema_test.cpp
    LIBS orvik_device orvik_components orvik_resources)
