# The Python module's pytest suite, on the package built in this tree, when the module is built.
if(TARGET norvale_python)
    add_test(NAME Python.Pytest
        COMMAND ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_SOURCE_DIR}/python)
    set_tests_properties(Python.Pytest PROPERTIES
        ENVIRONMENT PYTHONPATH=${PROJECT_BINARY_DIR}/python
        TIMEOUT 300)
endif()
