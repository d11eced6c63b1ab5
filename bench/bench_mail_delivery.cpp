// PLACEHOLDER: delivery benchmark being written.
